// Opening a workbook file in the format its content shows. This is the one
// place of the host's core that knows the format folders.

#include <memory>
#include <string>

#include "host/formats/FileFormat.h"
#include "host/core/HostError.h"
#include "host/core/WorkbookStore.h"
#include "host/formats/biff/XlsWorkbook.h"
#include "host/formats/csv/CsvWorkbook.h"
#include "host/formats/odf/OdsWorkbook.h"
#include "host/formats/ooxml/WorkbookFile.h"

namespace host {

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return ext;
}

}  // namespace

std::unique_ptr<WorkbookStore> OpenWorkbookStore(const std::string& path) {
  CheckOpenable(path);
  const FileFormat format = RecogniseFile(path);
  switch (format) {
    case FileFormat::Text: {
      // Text is a workbook only where its name says it holds records.
      const std::string ext = LowerExtension(path);
      if (ext == "csv" || ext == "tsv") return csv::OpenCsv(path);
      break;
    }
    case FileFormat::Biff8Workbook:
      return biff::OpenXls(path);
    case FileFormat::OpenDocumentSpreadsheet:
      return odf::OpenOds(path);
    case FileFormat::Biff5Workbook:
    case FileFormat::Biff4OrOlder:
    case FileFormat::EncryptedPackage:
    case FileFormat::OtherCompoundFile:
    case FileFormat::HtmlPage:
    case FileFormat::XmlSpreadsheet2003:
    case FileFormat::FlatOpenDocument:
    case FileFormat::DamagedZip:
    case FileFormat::Unknown:
      break;
    case FileFormat::OoxmlWorkbook:
    case FileFormat::OtherZip:
      // The package reader names what is missing or damaged, or why the
      // file cannot be read at all.
      return std::make_unique<ooxml::WorkbookFile>(path);
  }
  throw HostError(RefusalMessage(format, path));
}

}  // namespace host
