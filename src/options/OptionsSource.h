#pragma once
// Where a batch run reads the processing choices. The main window reads its
// controls; a command line reads its arguments. A run asks at the moment it
// needs a value (operation and scope per file, the sort column per range, the
// filter's column, criterion and value while filtering), as the window's
// controls are read in place.

#include "options/ProcessingOptions.h"

namespace tabulory {

class OptionsSource {
 public:
  virtual ~OptionsSource() = default;

  virtual Operation ChosenOperation() const = 0;
  virtual Scope ChosenScope() const = 0;
  // The chosen sort column, 1 to 256, or 0 when none is chosen.
  virtual int SortColumn() const = 0;
  // The filter column as typed (letters, not checked here).
  virtual QString FilterColumn() const = 0;
  // The criterion index 0 to 3, or -1 when none is chosen.
  virtual int ChosenCriterion() const = 0;
  virtual QString FilterValue() const = 0;

  // All choices at once.
  ProcessingOptions Read() const;
};

// A source that gives the choices of one fixed record.
class FixedOptions : public OptionsSource {
 public:
  FixedOptions() = default;
  explicit FixedOptions(ProcessingOptions options) : options(std::move(options)) {}

  Operation ChosenOperation() const override { return options.operation; }
  Scope ChosenScope() const override { return options.scope; }
  int SortColumn() const override { return options.sortColumn; }
  QString FilterColumn() const override { return options.filterColumn; }
  int ChosenCriterion() const override { return options.criterion; }
  QString FilterValue() const override { return options.value; }

  ProcessingOptions options;
};

}  // namespace tabulory
