// The table of every function the engine knows, joined from the family
// files, and the list of volatile functions it never computes.

#include <string>
#include <unordered_map>

#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

const FunctionDef* FindFunction(std::string_view name) {
  static const std::unordered_map<std::string_view, const FunctionDef*> table = [] {
    std::unordered_map<std::string_view, const FunctionDef*> t;
    for (auto family : {MathFunctions(), StatisticsFunctions(), LookupFunctions(), TextFunctions(), DateFunctions(),
                        LogicalFunctions()})
      for (const FunctionDef& def : family) t.emplace(def.name, &def);
    return t;
  }();
  auto found = table.find(name);
  return found == table.end() ? nullptr : found->second;
}

bool IsVolatileFunction(std::string_view name) {
  static constexpr std::string_view kVolatile[] = {"NOW", "TODAY", "RAND", "RANDBETWEEN", "RANDARRAY", "CELL", "INFO"};
  for (std::string_view v : kVolatile)
    if (v == name) return true;
  return false;
}

}  // namespace host::calc
