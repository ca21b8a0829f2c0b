#include "host/core/Workbooks.h"

#include "host/core/HostError.h"
#include "host/core/Workbook.h"

namespace host {

Workbooks::Workbooks(Application& app) : app_(&app) {}
Workbooks::~Workbooks() = default;

Workbook& Workbooks::Open(const std::string& path) {
  items_.push_back(std::make_unique<Workbook>(*app_, path));
  return *items_.back();
}

int Workbooks::Count() const { return static_cast<int>(items_.size()); }

Workbook& Workbooks::operator()(int index) {
  if (index < 1 || index > Count())
    throw HostError("There is no workbook " + std::to_string(index) + " (" + std::to_string(Count()) + " open).");
  return *items_[index - 1];
}

void Workbooks::CloseAll() { items_.clear(); }

}  // namespace host
