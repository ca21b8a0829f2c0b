#include "options/OptionsSource.h"

namespace tabulory {

const QStringList& CriterionTexts() {
  static const QStringList kTexts = {QStringLiteral("equals"), QStringLiteral("contains"),
                                     QStringLiteral("is not blank"), QStringLiteral("is blank")};
  return kTexts;
}

ProcessingOptions OptionsSource::Read() const {
  ProcessingOptions o;
  o.operation = ChosenOperation();
  o.scope = ChosenScope();
  o.sortColumn = SortColumn();
  o.filterColumn = FilterColumn();
  o.criterion = ChosenCriterion();
  o.value = FilterValue();
  return o;
}

}  // namespace tabulory
