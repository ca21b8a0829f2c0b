#pragma once
// The calculation chain of a package workbook (.xlsx calcChain.xml, .xlsb
// calcChain.bin) dropped when moved formulas leave it naming the wrong
// cells: the chain is only a cache of the calculation order, which a full
// recalculation at the next open rebuilds. Its entry, its relationship and
// its content type go together, so the package stays consistent.

#include <map>
#include <string>

#include "host/io/Package.h"

namespace host::ooxml {

// Adds to changed what drops chainPart from the package: the part itself,
// the relationship to it in workbookRelsPart and its Override in
// [Content_Types].xml (comments, white space and everything else of both
// kept). Throws XmlFault when either XML part cannot be read again.
void DropCalcChain(Package& package, const std::string& workbookRelsPart, const std::string& chainPart,
                   std::map<std::string, NewPart>& changed);

}  // namespace host::ooxml
