#include "host/core/calc/CalcValue.h"

#include <utility>

namespace host::calc {

namespace {

struct ErrorName {
  CalcError error;
  std::string_view text;
};

constexpr ErrorName kErrors[] = {
    {CalcError::Null, "#NULL!"}, {CalcError::Div0, "#DIV/0!"}, {CalcError::Value, "#VALUE!"},
    {CalcError::Ref, "#REF!"},   {CalcError::Name, "#NAME?"},  {CalcError::Num, "#NUM!"},
    {CalcError::NA, "#N/A"},     {CalcError::Spill, "#SPILL!"}, {CalcError::Calc, "#CALC!"},
};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string_view ErrorText(CalcError error) {
  for (const ErrorName& e : kErrors)
    if (e.error == error) return e.text;
  return "#VALUE!";
}

bool ErrorFromText(std::string_view text, CalcError& error) {
  for (const ErrorName& e : kErrors)
    if (SameLetters(text, e.text)) {
      error = e.error;
      return true;
    }
  return false;
}

Value Value::Number(double n) {
  Value v;
  v.type = Type::Number;
  v.number = n;
  return v;
}

Value Value::Text(std::string s) {
  Value v;
  v.type = Type::Text;
  v.text = std::move(s);
  return v;
}

Value Value::Boolean(bool b) {
  Value v;
  v.type = Type::Boolean;
  v.number = b ? 1 : 0;
  return v;
}

Value Value::Error(CalcError e) {
  Value v;
  v.type = Type::Error;
  v.error = e;
  return v;
}

Value Value::Reference(const Area& area) {
  Value v;
  v.type = Type::Reference;
  v.areas.push_back(area);
  return v;
}

Value Value::Array(Matrix m) {
  Value v;
  v.type = Type::Array;
  v.array = std::make_shared<const Matrix>(std::move(m));
  return v;
}

}  // namespace host::calc
