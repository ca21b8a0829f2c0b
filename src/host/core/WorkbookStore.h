#pragma once
// What a file format gives the host for one workbook file: its sheets, the
// active one, the date system, and the save of what changed back to the
// file in its own format. The format is recognised by the file's content
// (see FileFormat.h), never by its name.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/core/HostError.h"
#include "host/core/ReferenceText.h"
#include "host/core/SheetStore.h"

namespace host {

class WorkbookStore {
 public:
  struct SheetEntry {
    std::string name;
    bool worksheet = true;  // false for chart, dialog and macro sheets
  };

  // One defined name as the workbook holds it.
  struct DefinedName {
    std::string name;
    int sheet = -1;       // the Sheets() index of the sheet it is local to; -1 for the whole workbook
    std::string formula;  // what it stands for in A1 syntax without "="; empty when the format cannot give it so
  };

  virtual ~WorkbookStore() = default;

  // The full path of the file.
  virtual const std::string& Path() const = 0;
  // Every sheet in workbook order.
  virtual const std::vector<SheetEntry>& Sheets() const = 0;
  // The cells of worksheet entry index, read at open; the workbook store
  // owns them while it lives. nullptr for chart, dialog and macro sheets.
  virtual SheetStore* Sheet(size_t index) = 0;
  // 0-based index of the sheet the workbook opens on.
  virtual size_t ActiveTab() const = 0;
  virtual bool Date1904() const { return false; }
  // True when the workbook defines names (print areas included).
  virtual bool HasDefinedNames() const { return false; }
  // The defined names in file order; nullopt when the format does not read
  // them (a formula that uses one is then left to the recalculation the
  // workbook asks for when opened).
  virtual std::optional<std::vector<DefinedName>> DefinedNames() const { return std::nullopt; }

  // The defined names of a format that keeps each name's formula as tokens:
  // names[i] with the sheet and tokens of definitions[i] (members sheet and
  // rgce), its A1 text given by formulaText; a name whose tokens have no
  // text here (an array constant, damaged tokens: HostError) stays
  // uncomputed, with an empty formula.
  template <class Definition, class FormulaText>
  static std::vector<DefinedName> NamesFromTokens(const std::vector<std::string>& names,
                                                  const std::vector<Definition>& definitions,
                                                  const FormulaText& formulaText) {
    std::vector<DefinedName> out;
    for (size_t i = 0; i < names.size() && i < definitions.size(); ++i) {
      DefinedName name{names[i], definitions[i].sheet, {}};
      try {
        name.formula = formulaText(definitions[i].rgce);
      } catch (const HostError&) {
      }
      out.push_back(std::move(name));
    }
    return out;
  }
  // How INDIRECT reads the reference texts formulas give it.
  virtual ReferenceText IndirectReferences() const { return ReferenceText::A1; }
  // Asks for a full recalculation when the workbook is next opened (cells
  // that formulas refer to have moved).
  virtual void RequestFullRecalculation() {}
  // False when the format has no way to ask for that recalculation (an
  // OpenDocument file): formulas left without a fresh result keep their
  // earlier ones until the user recalculates.
  virtual bool CanRequestRecalculation() const { return true; }
  // Writes the workbook back to its file: what changed in its sheets written
  // anew, everything else copied as it was, by the host's save policy
  // (FileReplacement.h). Nothing is written when nothing changed.
  virtual void Save() = 0;
};

// Opens the workbook at path in whatever format its content shows; HostError
// naming the file and what it is when no format of the host reads it.
std::unique_ptr<WorkbookStore> OpenWorkbookStore(const std::string& path);

}  // namespace host
