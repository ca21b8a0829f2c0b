#pragma once
// What a file is, by its content rather than its name, and the message for
// files this host does not open.

#include <string>
#include <string_view>

#include "host/core/OpenableFile.h"  // CheckOpenable, for the format readers

namespace host {

enum class FileFormat {
  OoxmlWorkbook,           // a zip package whose main part is a workbook
  XlsbWorkbook,            // a zip package whose main part is a binary workbook (.xlsb)
  Biff8Workbook,           // a compound file with a "Workbook" stream (Excel 97-2003)
  Biff5Workbook,           // a compound file with a "Book" stream (Excel 5.0/95)
  Biff4OrOlder,            // a bare BIFF2-4 stream (Excel 2.x to 4.0)
  OpenDocumentSpreadsheet, // a zip package of an ODF spreadsheet
  OtherZip,                // a zip package holding no workbook
  DamagedZip,              // starts as a zip package, but its directory cannot be read
  EncryptedPackage,        // a compound file holding a password-protected package
  OtherCompoundFile,       // a compound file holding no workbook stream
  HtmlPage,                // a web page
  XmlSpreadsheet2003,      // an XML Spreadsheet 2003 document
  FlatOpenDocument,        // a flat XML OpenDocument spreadsheet (.fods)
  Text,                    // plain text (such as CSV)
  Unknown,
};

// The format of a file whose whole content is bytes.
FileFormat RecogniseFormat(std::string_view bytes);

// The format of the file at path; Unknown when it cannot be read.
FileFormat RecogniseFile(const std::string& path);


// The formats this host opens, for messages: ".xlsx, ..., .csv and .tsv".
std::string FormatsOpened();

// The message that refuses to open the file at path in a format this host
// does not read as a workbook; empty for the formats it opens (see
// FormatRegistry.h). Text is opened only under the names its format claims
// (.csv, .tsv), so Text gets a refusal here.
std::string RefusalMessage(FileFormat format, const std::string& path);

}  // namespace host
