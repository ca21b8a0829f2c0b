#pragma once
// Hand-made OpenDocument spreadsheet packages for the .ods tests, and
// LibreOffice conversions (its own profile in the test's folder).

#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "host/Fixtures.h"
#include "host/formats/odf/OdsSheet.h"

namespace odsfixtures {

inline constexpr const char* kMime = "application/vnd.oasis.opendocument.spreadsheet";

// content.xml around the given tables, with automatic styles.
std::string Content(const std::string& tables, const std::string& automaticStyles = "");
// settings.xml naming the active table.
std::string Settings(const std::string& active);
// META-INF/manifest.xml; extra goes inside the content.xml entry.
std::string Manifest(const std::string& extra = "");

// Writes a package as office programs do: "mimetype" first and stored, the
// other entries deflated in the given order.
void WritePackage(const std::string& path, const std::string& mime,
                  const std::vector<std::pair<std::string, std::string>>& entries);
// A package of content, settings (active "Two"), manifest and styles.xml.
std::string WriteOds(const fixtures::TempDir& dir, const std::string& file, const std::string& content,
                     const std::string& manifest = Manifest(), const std::string& mime = kMime);

// A table cell element with the given attributes and content; a text cell;
// a number cell (with its paragraph).
std::string Cell(const std::string& attributes, const std::string& inner = "");
std::string Text(const std::string& text, const std::string& attributes = "");
std::string Number(double value, const std::string& attributes = "");

// Table "Data": row 1 a header (name, n, calc); 2 pear 3 (cell style ce1),
// 3 apple 1 with a note, 4 zz 9 (hidden), 5 fig 2 with a link; column C a
// formula on B per row; then styled empty rows to the sheet's end.
std::string DataTable();
// Table "Two": 5 in A1.
extern const std::string kOther;

// Converts file with LibreOffice headless into format ("ods", "csv", "fods")
// in dir; the converted file's path, or "" when the conversion failed.
std::string SofficeConvert(const std::string& file, const std::string& format, const fixtures::TempDir& dir,
                           const std::string& outDir);

// The cell element at (row, column) as it would be written, as a tree (its
// first child; an empty document where there is none).
pugi::xml_document CellTree(const host::odf::OdsSheet& sheet, int row, int column);
// The names of the package's entries in order, with true for stored ones.
std::vector<std::pair<std::string, bool>> EntryOrder(const std::string& path);

}  // namespace odsfixtures
