#include "BenchWorkbook.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// First words of the international text column: Latin with accents,
// Greek, Cyrillic, and a few plain ones.
const char* const kWords[] = {"Émile",  "Ærø",    "Øster",  "Straße", "Ćevapi", "Ωmega", "Жук",   "Ölçü",
                              "Łódź",   "Ñandú",  "Ärger",  "éclair", "Δέλτα",  "Щука",  "İzmir", "Ångström",
                              "Zoë",    "çedille", "Ýmir",  "plain"};


const char* const kCategories[] = {"alpha", "beta", "gamma", "delta", "epsilon"};

void AddPart(zip_t* archive, const char* name, std::string* data) {
  zip_source_t* source = zip_source_buffer(archive, data->data(), data->size(), 0);
  zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8);
  if (index < 0) throw std::runtime_error("cannot add zip entry");
  zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 6);
}

void AppendInt(std::string& out, long value) {
  char buffer[32];
  int n = std::snprintf(buffer, sizeof buffer, "%ld", value);
  out.append(buffer, n);
}

void AppendCell(std::string& out, char column, int row, const char* attrs, const char* value, size_t length) {
  out += "<c r=\"";
  out += column;
  AppendInt(out, row);
  out += '"';
  out += attrs;
  out += "><v>";
  out.append(value, length);
  out += "</v></c>";
}

}  // namespace

uint64_t WriteBenchWorkbook(const std::string& path, int rows, BenchKind kind) {
  const bool records = kind == BenchKind::Records;
  const bool internationalText = kind == BenchKind::International;
  constexpr int kNotes = 1000;
  const int noteStep = std::max(1, rows / kNotes);
  auto hasNote = [&](int r) { return records && (r - 1) % noteStep == 0 && (r - 1) / noteStep < kNotes; };
  // Shared strings: a pool of names for the text column, then the categories.
  const int names = rows / 4 + 1;
  std::string sst;
  sst.reserve(static_cast<size_t>(names) * 40);
  sst += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"";
  AppendInt(sst, 2L * rows);
  sst += "\" uniqueCount=\"";
  AppendInt(sst, names + 5);
  sst += "\">";
  for (int i = 0; i < names; ++i) {
    unsigned h = static_cast<unsigned>(i) * 2654435761u;
    char buffer[96];
    int n = internationalText
                ? std::snprintf(buffer, sizeof buffer, "<si><t>%s %c%c item %08x</t></si>",
                                kWords[(h >> 27) % (sizeof kWords / sizeof kWords[0])], 'a' + (h >> 20) % 26,
                                'a' + (h >> 13) % 26, h)
                : std::snprintf(buffer, sizeof buffer, "<si><t>%c%c%c item %08x</t></si>", 'A' + (h >> 27) % 26,
                                'a' + (h >> 20) % 26, 'a' + (h >> 13) % 26, h);
    sst.append(buffer, n);
  }
  for (const char* c : kCategories) {
    sst += "<si><t>";
    sst += c;
    sst += "</t></si>";
  }
  sst += "</sst>";

  std::string sheet;
  sheet.reserve(static_cast<size_t>(rows) * 420 + 1024);
  sheet += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<dimension ref=\"A1:J";
  AppendInt(sheet, rows);
  sheet += "\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
           "<sheetFormatPr defaultRowHeight=\"15\"/><cols><col min=\"1\" max=\"10\" width=\"14\" customWidth=\"1\"/></cols>"
           "<sheetData>";
  char value[64];
  unsigned seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int r = 1; r <= rows; ++r) {
    sheet += "<row r=\"";
    AppendInt(sheet, r);
    sheet += records && r % 10 == 0 ? "\" spans=\"1:10\" hidden=\"1\">" : "\" spans=\"1:10\">";
    int n = std::snprintf(value, sizeof value, "%u", next() % 1000000);
    AppendCell(sheet, 'A', r, "", value, n);
    n = std::snprintf(value, sizeof value, "%u", next() % static_cast<unsigned>(names));
    AppendCell(sheet, 'B', r, " t=\"s\"", value, n);
    n = std::snprintf(value, sizeof value, "%.4f", (next() % 10000000) / 100.0);
    AppendCell(sheet, 'C', r, " s=\"1\"", value, n);
    n = std::snprintf(value, sizeof value, "%u", 36526 + next() % 9000);
    AppendCell(sheet, 'D', r, " s=\"2\"", value, n);
    AppendCell(sheet, 'E', r, " t=\"b\"", (next() & 1) ? "1" : "0", 1);
    n = std::snprintf(value, sizeof value, "%u", names + next() % 5);
    AppendCell(sheet, 'F', r, " t=\"s\"", value, n);
    if (r % 7 != 0) {
      n = std::snprintf(value, sizeof value, "%u", next() % 5000);
      AppendCell(sheet, 'G', r, "", value, n);
    }
    n = std::snprintf(value, sizeof value, "%.6g", (next() % 1000000) / 7.0);
    AppendCell(sheet, 'H', r, "", value, n);
    n = std::snprintf(value, sizeof value, "%.3f", (next() % 1000) / 1000.0);
    AppendCell(sheet, 'I', r, " s=\"3\"", value, n);
    if (r % 5 != 0) {
      n = std::snprintf(value, sizeof value, "%u", next() % 100);
      AppendCell(sheet, 'J', r, "", value, n);
    }
    sheet += "</row>";
  }
  sheet += "</sheetData>";
  // Notes (comments part and their shapes in a VML drawing) and links.
  std::string comments, vml, sheetRels;
  if (records) {
    sheet += "<hyperlinks>";
    comments = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors><author>bench</author>"
               "</authors><commentList>";
    vml = "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
          "xmlns:x=\"urn:schemas-microsoft-com:office:excel\">\r\n";
    sheetRels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" "
                "Target=\"../comments1.xml\"/>"
                "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/vmlDrawing\" "
                "Target=\"../drawings/vmlDrawing1.vml\"/>";
    for (int r = 1; r <= rows; ++r) {
      if (!hasNote(r)) continue;
      std::string n = std::to_string(r), id = "rId" + std::to_string(r + 10);
      sheet += "<hyperlink ref=\"A" + n + "\" r:id=\"" + id + "\"/>";
      sheetRels += "<Relationship Id=\"" + id +
                   "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink\" "
                   "Target=\"https://example.com/record/" + n + "\" TargetMode=\"External\"/>";
      comments += "<comment ref=\"B" + n + "\" authorId=\"0\"><text><t>record " + n + "</t></text></comment>";
      vml += " <v:shape type=\"#_x0000_t202\" style=\"position:absolute;visibility:hidden\">\r\n"
             "  <x:ClientData ObjectType=\"Note\">\r\n   <x:MoveWithCells/>\r\n   <x:Anchor>\r\n    2, 15, " +
             std::to_string(r - 1) + ", 2, 4, 15, " + std::to_string(r + 3) +
             ", 16</x:Anchor>\r\n   <x:AutoFill>False</x:AutoFill>\r\n   <x:Row>" + std::to_string(r - 1) +
             "</x:Row>\r\n   <x:Column>1</x:Column>\r\n  </x:ClientData>\r\n </v:shape>";
    }
    sheet += "</hyperlinks>";
    comments += "</commentList></comments>";
    vml += "</xml>";
    sheetRels += "</Relationships>";
  }
  sheet += "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>";
  if (records) sheet += "<legacyDrawing r:id=\"rId2\"/>";
  sheet += "</worksheet>";

  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
      "</Types>";
  if (records)
    types.insert(types.size() - 8,
                 "<Default Extension=\"vml\" ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>"
                 "<Override PartName=\"/xl/comments1.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/>");
  std::string rootRels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
      "</Relationships>";
  std::string workbook =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView/></bookViews><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
      "<calcPr calcId=\"191029\"/></workbook>";
  std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
      "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
      "</Relationships>";
  std::string styles =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd\"/></numFmts>"
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
      "<cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
      "<xf numFmtId=\"4\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
      "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
      "<xf numFmtId=\"10\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs>"
      "</styleSheet>";

  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("cannot create " + path);
  AddPart(archive, "[Content_Types].xml", &types);
  AddPart(archive, "_rels/.rels", &rootRels);
  AddPart(archive, "xl/workbook.xml", &workbook);
  AddPart(archive, "xl/_rels/workbook.xml.rels", &rels);
  AddPart(archive, "xl/worksheets/sheet1.xml", &sheet);
  AddPart(archive, "xl/sharedStrings.xml", &sst);
  AddPart(archive, "xl/styles.xml", &styles);
  if (records) {
    AddPart(archive, "xl/worksheets/_rels/sheet1.xml.rels", &sheetRels);
    AddPart(archive, "xl/comments1.xml", &comments);
    AddPart(archive, "xl/drawings/vmlDrawing1.vml", &vml);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("cannot write " + path);
  return sheet.size();
}
