#include "host/formats/odf/OdsSheet.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>

#include "host/core/CellAddress.h"
#include "host/core/HostError.h"
#include "host/core/HugePages.h"
#include "host/io/SplitScan.h"
#include "host/io/XmlScanner.h"
#include "host/formats/odf/OdsFormula.h"

namespace host::odf {

namespace {

constexpr int64_t kMaxAreas = 1000000;
constexpr std::string_view kRowsRepeated = "table:number-rows-repeated";
constexpr std::string_view kColumnsRepeated = "table:number-columns-repeated";
constexpr std::string_view kRowEnd = "</table:table-row>";
constexpr std::string_view kEmptyCell = "<table:table-cell/>";

// A repeat or span count as XML readers take it: its leading integer, within 1..limit.
int Count(std::string_view raw, int limit) { return std::clamp(LeadingInt(raw, 1), 1, limit); }

// A repeat count as written, at least 1 (counts beyond 2^62 are taken as 2^62).
int64_t Repeats(std::string_view raw) {
  while (!raw.empty() && (raw.front() == ' ' || raw.front() == '\t' || raw.front() == '\n' || raw.front() == '\r'))
    raw.remove_prefix(1);
  int64_t value = 0;
  bool any = false;
  for (char c : raw) {
    if (c < '0' || c > '9') break;
    any = true;
    value = value > (int64_t(1) << 58) ? int64_t(1) << 62 : value * 10 + (c - '0');
  }
  return any && value > 0 ? value : 1;
}

bool IsTrue(std::string_view raw) { return !raw.empty() && std::string_view("1tTyY").find(raw.front()) != std::string_view::npos; }

void Include(CellArea& used, int firstRow, int firstColumn, int lastRow, int lastColumn) {
  if (used.lastRow == 0) {
    used = {firstRow, firstColumn, lastRow, lastColumn};
    return;
  }
  used.firstRow = std::min(used.firstRow, firstRow);
  used.firstColumn = std::min(used.firstColumn, firstColumn);
  used.lastRow = std::max(used.lastRow, lastRow);
  used.lastColumn = std::max(used.lastColumn, lastColumn);
}

bool IsColumnGroup(std::string_view name) {
  return name == "table:table-columns" || name == "table:table-column-group" || name == "table:table-header-columns";
}

bool IsRowGroup(std::string_view name) {
  return name == "table:table-header-rows" || name == "table:table-rows" || name == "table:table-row-group";
}

std::optional<std::string> CountValue(int64_t count) {
  return count > 1 ? std::optional<std::string>(std::to_string(count)) : std::nullopt;
}

}  // namespace

// One pass over the table element, filling the sheet's records; or, for a
// large table, over the rows of its second half (see SplitScan), filling
// records of their own with the rows numbered from 1.
class OdsSheet::Scan {
 public:
  // What the second half read. Written by its thread row after row, so it
  // keeps cache lines of its own, apart from the first half's.
  struct alignas(64) Half {
    RowRecords records;
    int rows = 0;                // rows read, numbered from 1
    const char* stop = nullptr;  // where the first half goes on
  };

  Scan(OdsSheet& sheet, XmlScanner& scanner, RowRecords& into) : sheet_(sheet), scanner_(scanner), into_(into) {}

  // Reads the children of `table` up to its end tag. Row and column groups
  // nest; the open ones are kept on a stack of the scan's own, so that groups
  // nested any depth are read without deepening the call stack. Where this
  // scan reaches the split, it takes what the second half read from there.
  void Children(const XmlScanner::Tag& table, SplitScan& split, const Half& second) {
    std::vector<XmlScanner::Tag> open{table};
    XmlScanner::Tag tag;
    while (!open.empty()) {
      const size_t depth = open.size() - 1;
      const bool child = scanner_.NextChild(open.back(), tag);
      if (split.Reached(tag.begin) && Take(split, second)) continue;
      if (!child) {
        const bool columnGroup = depth > 0 && IsColumnGroup(open.back().qname);
        open.pop_back();
        if (depth == 1 && columnGroup) sheet_.rowAnchor_ = Offset(scanner_.Position());
        continue;
      }
      std::string_view name = tag.qname;
      if (name == "table:table-column") {
        std::string_view style, repeat;
        std::string_view start(tag.begin, static_cast<size_t>(tag.end - tag.begin));
        ElementAttribute(start, "table:default-cell-style-name", style);
        bool repeated = ElementAttribute(start, kColumnsRepeated, repeat);
        sheet_.columnStyles_.emplace_back(nextColumn_, style);
        nextColumn_ = static_cast<int>(std::min<int64_t>(int64_t(nextColumn_) + (repeated ? Count(repeat, kMaxColumns) : 1),
                                                         int64_t(kMaxColumns) + 1));
        Skip(tag);
        if (depth == 0) sheet_.rowAnchor_ = Offset(scanner_.Position());
      } else if (name == "table:table-row") {
        // Rows past the sheet's last row are kept as they are written when
        // they are empty; a cell with content there is refused, never cut.
        if (nextRow_ > kMaxRows) {
          SkipPastTheEnd(tag, kPastLastRow);
          continue;
        }
        const int64_t repeats = RowRepeats(tag);
        const int count = static_cast<int>(std::min<int64_t>(repeats, kMaxRows - nextRow_ + 1));
        Row(tag, count);
        if (repeats > count) {
          const RowGroup& row = into_.rows.back();
          for (size_t k = row.firstCell; k < row.firstCell + row.cellCount; ++k)
            if (into_.cells[k].flags & kContent) Refuse(kPastLastRow);
          sheet_.rowsPastEnd_ = repeats - count;  // written back with the group that ends the sheet
        }
        nextRow_ += count;
      } else if ((IsColumnGroup(name) || IsRowGroup(name)) && !tag.selfClosing) {
        open.push_back(tag);
      } else {
        const size_t at = Offset(tag.begin);
        Skip(tag);
        if (depth == 0 && name == "table:named-expressions") {
          sheet_.namesBegin_ = at;
          sheet_.namesEnd_ = Offset(scanner_.Position());
        }
      }
    }
  }

  // The second half, into half (whose records this scan fills): the rows from
  // split on, numbered from 1, up to the first thing that is no row of that
  // run (an end tag, another element), or a row repeated so often that only
  // the first half can tell whether it passes the sheet's last row; there
  // the first half goes on. False when the second half is dropped.
  bool RowsFrom(const char* split, const SplitScan& control, Half& half) {
    scanner_.SetPosition(split);
    while (!control.Dropped()) {
      scanner_.SkipMisc(true);
      if (scanner_.AtEnd()) return false;
      const char* at = scanner_.Position();
      const XmlScanner::Tag tag = scanner_.ReadTag();
      const int64_t repeats = tag.isEnd ? 0 : RowRepeats(tag);
      if (tag.isEnd || tag.qname != "table:table-row" || repeats >= kLongRun || nextRow_ - 1 + repeats > kMaxRows) {
        half.rows = nextRow_ - 1;
        half.stop = at;
        return true;
      }
      Row(tag, static_cast<int>(repeats));
      nextRow_ += static_cast<int>(repeats);
    }
    return false;
  }

 private:
  // A row repeated this often is left to the first half.
  static constexpr int64_t kLongRun = int64_t(1) << 16;
  static constexpr std::string_view kPastLastRow = "past row 1048576, the last row of a sheet";
  static constexpr std::string_view kPastLastColumn = "past column XFD, the last column of a sheet";

  [[noreturn]] void Refuse(std::string_view where) const {
    throw HostError("the sheet " + sheet_.Name() + " holds cells " + std::string(where));
  }

  // Skips a row or cell that lies past the sheet's edge; refused when a cell
  // in it holds a value, a formula, text or a note (so nothing is cut).
  void SkipPastTheEnd(const XmlScanner::Tag& element, std::string_view where) {
    const bool cell = element.qname == "table:table-cell" || element.qname == "table:covered-table-cell";
    if (cell) {
      const char* cursor = element.attrs;
      std::string_view name, value;
      while (XmlScanner::NextAttribute(cursor, element.end, name, value))
        if (name == "office:value-type" || name == "table:formula") Refuse(where);
    }
    if (element.selfClosing) return;
    XmlScanner::Tag child;
    while (scanner_.NextChild(element, child)) {
      if (cell && (child.qname == "text:p" || child.qname == "text:h" || child.qname == "office:annotation"))
        Refuse(where);
      if (!cell && (child.qname == "table:table-cell" || child.qname == "table:covered-table-cell"))
        SkipPastTheEnd(child, where);
      else
        Skip(child);
    }
  }

  // The first half at the split: takes the rows second read, numbered on
  // from this half's, and goes on where second stopped. False, with nothing
  // taken, when second is not to be taken or its rows would pass the sheet's
  // last row or its merged cells and array formulas the most the host
  // handles (the first half then reads them, faults included).
  bool Take(SplitScan& split, const Half& second) {
    if (nextRow_ > kMaxRows || !split.Join()) return false;
    const RowRecords& half = second.records;
    const int base = nextRow_ - 1;
    const int rows = second.rows;
    if (int64_t(base) + rows > kMaxRows ||
        into_.merged.size() + into_.arrays.size() + half.merged.size() + half.arrays.size() > size_t(kMaxAreas))
      return false;
    const size_t firstCell = into_.cells.size();
    for (RowGroup row : half.rows) {
      row.firstRow += base;
      row.firstCell += firstCell;
      into_.rows.push_back(row);
    }
    into_.cells.insert(into_.cells.end(), half.cells.begin(), half.cells.end());
    auto shifted = [base](CellArea area) {
      return CellArea{area.firstRow + base, area.firstColumn, std::min(area.lastRow + base, kMaxRows), area.lastColumn};
    };
    for (const CellArea& area : half.merged) into_.merged.push_back(shifted(area));
    for (const CellArea& area : half.arrays) into_.arrays.push_back(shifted(area));
    if (half.used.lastRow != 0)
      Include(into_.used, half.used.firstRow + base, half.used.firstColumn, half.used.lastRow + base,
              half.used.lastColumn);
    nextRow_ += rows;
    scanner_.SetPosition(second.stop);
    return true;
  }

  static int64_t RowRepeats(const XmlScanner::Tag& tag) {
    std::string_view repeat;
    return ElementAttribute({tag.begin, static_cast<size_t>(tag.end - tag.begin)}, kRowsRepeated, repeat)
               ? Repeats(repeat)
               : 1;
  }

  // The blocks that a (repeated) spanning cell starts, each rows x columns.
  void AddAreas(std::vector<CellArea>& areas, int firstRow, int count, const CellRun& run, int rows, int columns) {
    if (static_cast<int64_t>(count) * run.count + static_cast<int64_t>(into_.merged.size() + into_.arrays.size()) >
        kMaxAreas)
      throw HostError("the sheet " + sheet_.Name() +
                      " holds more merged cells or array formulas than this program handles");
    for (int r = 0; r < count; ++r)
      for (int c = 0; c < run.count; ++c)
        areas.push_back({firstRow + r, run.firstColumn + c, std::min(firstRow + r + rows - 1, kMaxRows),
                         std::min(run.firstColumn + c + columns - 1, kMaxColumns)});
  }

  size_t Offset(const char* at) const { return static_cast<size_t>(at - sheet_.part_.data()); }
  void Skip(const XmlScanner::Tag& tag) {
    if (!tag.selfClosing) scanner_.SkipContent(tag);
  }

  void Row(const XmlScanner::Tag& tag, int count) {
    RowGroup row;
    row.firstRow = nextRow_;
    row.count = count;
    row.begin = Offset(tag.begin);
    row.startEnd = row.contentEnd = row.end = row.tailBegin = Offset(tag.end);
    std::string_view visibility;
    if (ElementAttribute({tag.begin, static_cast<size_t>(tag.end - tag.begin)}, "table:visibility", visibility))
      row.hidden = visibility == "collapse" || visibility == "filter";
    row.firstCell = into_.cells.size();
    if (!tag.selfClosing) {
      int column = 1;
      XmlScanner::Tag child;
      for (;;) {
        const char* cellEnd = nullptr;
        if (column <= kMaxColumns && PlainCell(child, cellEnd)) {
          into_.cells.push_back(Cell(child, false, column, row.firstRow, count, cellEnd));
          column += into_.cells.back().count;
          row.tailBegin = Offset(scanner_.Position());
          continue;
        }
        if (!scanner_.NextChild(tag, child)) break;
        bool covered = child.qname == "table:covered-table-cell";
        if ((covered || child.qname == "table:table-cell") && column <= kMaxColumns) {
          into_.cells.push_back(Cell(child, covered, column, row.firstRow, count));
          column += into_.cells.back().count;
          row.tailBegin = Offset(scanner_.Position());
        } else if (covered || child.qname == "table:table-cell") {
          SkipPastTheEnd(child, kPastLastColumn);  // empty cells past the last column stay as written
        } else {
          Skip(child);
        }
      }
      row.contentEnd = Offset(child.begin);
      row.end = Offset(child.end);
    }
    row.cellCount = static_cast<uint32_t>(into_.cells.size() - row.firstCell);
    into_.rows.push_back(row);
  }

  // The shape most cells take, <table:table-cell a="v" ...><text:p>text</text:p></table:table-cell>
  // or the tag alone, read straight from its bytes: the start tag and, for
  // a cell with a paragraph, where the cell ends (the scanner is left
  // there); nothing read and false for any other shape (other spacing,
  // character references, more children, markup in the text), which the
  // full reading then takes from the same place.
  bool PlainCell(XmlScanner::Tag& tag, const char*& paragraphCellEnd) {
    static constexpr std::string_view kStart = "<table:table-cell";
    static constexpr std::string_view kParagraph = "<text:p>";
    static constexpr std::string_view kEnd = "</text:p></table:table-cell>";
    const char* const begin = scanner_.Position();
    const char* const end = scanner_.End();
    if (static_cast<size_t>(end - begin) <= kStart.size() || std::memcmp(begin, kStart.data(), kStart.size()) != 0)
      return false;
    const char* p = begin + kStart.size();
    auto nameChar = [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '-' ||
             c == '_' || c == '.';
    };
    const char* attrs = p;
    bool selfClosing = false;
    for (;;) {
      if (p >= end) return false;
      if (*p == '>') break;
      if (*p == '/') {
        if (end - p < 2 || p[1] != '>') return false;
        selfClosing = true;
        break;
      }
      if (*p != ' ' || end - p < 2 || !(p[1] >= 'a' && p[1] <= 'z')) return false;
      ++p;
      while (p < end && nameChar(*p)) ++p;
      if (end - p < 2 || p[0] != '=' || p[1] != '"') return false;
      p += 2;
      while (p < end && *p != '"' && *p != '<' && *p != '&') ++p;
      if (p >= end || *p != '"') return false;
      ++p;
    }
    tag.qname = kStart.substr(1);
    tag.local = tag.qname.substr(6);
    tag.begin = begin;
    tag.attrs = attrs;
    tag.end = p + (selfClosing ? 2 : 1);
    tag.isEnd = false;
    tag.selfClosing = selfClosing;
    paragraphCellEnd = nullptr;
    if (selfClosing) {
      scanner_.SetPosition(tag.end);
      return true;
    }
    p = tag.end;
    if (static_cast<size_t>(end - p) < kParagraph.size() || std::memcmp(p, kParagraph.data(), kParagraph.size()) != 0)
      return false;
    p += kParagraph.size();
    while (p < end && *p != '<' && *p != '&') ++p;
    if (static_cast<size_t>(end - p) < kEnd.size() || std::memcmp(p, kEnd.data(), kEnd.size()) != 0) return false;
    paragraphCellEnd = p + kEnd.size();
    scanner_.SetPosition(paragraphCellEnd);
    return true;
  }

  // paragraphCellEnd: the cell was read by PlainCell and holds one plain
  // paragraph, ending there; its children are not read again.
  CellRun Cell(const XmlScanner::Tag& tag, bool covered, int column, int firstRow, int rows,
               const char* paragraphCellEnd = nullptr) {
    CellRun run;
    run.firstColumn = column;
    run.count = 1;
    run.begin = static_cast<uint32_t>(Offset(tag.begin));
    if (covered) run.flags |= kCovered;
    int rowsSpanned = 1, columnsSpanned = 1, matrixRows = 0, matrixColumns = 0;
    int64_t repeats = 1;
    const char* cursor = tag.attrs;
    std::string_view name, value;
    while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
      if (name == kColumnsRepeated) {
        repeats = Repeats(value);
        run.count = static_cast<int>(std::min<int64_t>(repeats, kMaxColumns - column + 1));
      }
      else if (name == "office:value-type") run.flags |= kContent;
      else if (name == "table:formula") run.flags |= kContent | kFormula;
      else if (name == "table:style-name") run.flags |= kStyle;
      else if (covered) continue;
      else if (name == "table:number-rows-spanned") rowsSpanned = Count(value, kMaxRows);
      else if (name == "table:number-columns-spanned") columnsSpanned = Count(value, kMaxColumns);
      else if (name == "table:number-matrix-rows-spanned") matrixRows = Count(value, kMaxRows);
      else if (name == "table:number-matrix-columns-spanned") matrixColumns = Count(value, kMaxColumns);
    }
    XmlScanner::Tag child;
    if (paragraphCellEnd) run.flags |= kContent;
    while (!tag.selfClosing && !paragraphCellEnd && scanner_.NextChild(tag, child)) {
      if (child.qname == "text:p" || child.qname == "text:h" || child.qname == "office:annotation")
        run.flags |= kContent;
      Skip(child);
    }
    run.length = static_cast<uint32_t>(Offset(scanner_.Position()) - run.begin);
    if ((run.flags & kContent) && repeats > run.count) Refuse(kPastLastColumn);
    if (run.flags & kContent) Include(into_.used, firstRow, column, firstRow + rows - 1, column + run.count - 1);
    if (rowsSpanned > 1 || columnsSpanned > 1) AddAreas(into_.merged, firstRow, rows, run, rowsSpanned, columnsSpanned);
    // An array formula's cell names the block its results fill.
    if (matrixRows || matrixColumns)
      AddAreas(into_.arrays, firstRow, rows, run, std::max(matrixRows, 1), std::max(matrixColumns, 1));
    return run;
  }

  OdsSheet& sheet_;
  XmlScanner& scanner_;
  RowRecords& into_;
  int nextRow_ = 1;
  int nextColumn_ = 1;
};

OdsSheet::OdsSheet(std::string_view part, size_t begin) : part_(part), begin_(begin) {
  XmlScanner scanner(part.data(), part.size());
  scanner.SetPosition(part.data() + begin);
  if (part.size() > UINT32_MAX) scanner.Fail("a part larger than 4 GB");
  XmlScanner::Tag tag = scanner.ReadTag();
  if (tag.isEnd || tag.qname != "table:table") scanner.FailAt(tag.begin, "a table was expected");
  startEnd_ = end_ = rowAnchor_ = static_cast<size_t>(tag.end - part.data());
  selfClosing_ = tag.selfClosing;
  std::string_view start = StartTag();
  name_ = AttributeText(start, "table:name");
  protected_ = IsTrue(AttributeText(start, "table:protected"));
  if (!tag.selfClosing) {
    // Room for the records of a table written as spreadsheet programs write
    // one (fresh memory is only taken as it is filled, in huge pages); more
    // is added when needed.
    auto reserve = [](RowRecords& records, size_t bytes) {
      records.cells.reserve(std::min<size_t>(bytes / 64, size_t(1) << 22));
      records.rows.reserve(std::min<size_t>(bytes / 512, size_t(1) << 20));
    };
    RowRecords records;
    reserve(records, part.size() - begin);
    // A large table's rows are read in two halves at once (see SplitScan).
    const char* at = FindSplitTag(part, startEnd_, "<table:table-row");
    auto half = std::make_unique<Scan::Half>();
    SplitScan split(at, [&](const SplitScan& control) {
      reserve(half->records, static_cast<size_t>(part.data() + part.size() - at));
      XmlScanner from(part.data(), part.size());
      Scan second(*this, from, half->records);
      return second.RowsFrom(at, control, *half);
    });
    Scan scan(*this, scanner, records);
    scan.Children(tag, split, *half);
    end_ = static_cast<size_t>(scanner.Position() - part.data());
    rows_ = std::move(records.rows);
    cells_ = std::move(records.cells);
    merged_ = std::move(records.merged);
    arrays_ = std::move(records.arrays);
    used_ = records.used;
  }
}

const OdsSheet::RowGroup* OdsSheet::GroupOf(int row) const {
  // Most tables hold a group for each row of their block: the row's place is its number.
  if (!rows_.empty() && row >= rows_.front().firstRow) {
    const size_t guess = static_cast<size_t>(row - rows_.front().firstRow);
    if (guess < rows_.size() && rows_[guess].firstRow == row) return &rows_[guess];
  }
  auto it = std::upper_bound(rows_.begin(), rows_.end(), row,
                             [](int r, const RowGroup& g) { return r < g.firstRow; });
  if (it == rows_.begin()) return nullptr;
  --it;
  return row < it->firstRow + it->count ? &*it : nullptr;
}

const OdsSheet::CellRun* OdsSheet::RunAt(int row, int column) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return nullptr;
  std::span<const CellRun> cells = Cells(*group);
  auto it = std::upper_bound(cells.begin(), cells.end(), column,
                             [](int c, const CellRun& run) { return c < run.firstColumn; });
  if (it == cells.begin()) return nullptr;
  --it;
  return column < it->firstColumn + it->count ? &*it : nullptr;
}

std::string_view OdsSheet::CellElement(int row, int column) const {
  const CellRun* run = RunAt(row, column);
  return run ? Bytes(*run) : std::string_view();
}

std::string OdsSheet::CellXml(int row, int column) const {
  const CellRun* run = RunAt(row, column);
  return run ? CellXmlOf(*run) : std::string();
}

std::string OdsSheet::Formula(int row, int column) const {
  const CellRun* run = RunAt(row, column);
  if (!run || !(run->flags & kFormula)) return {};
  return run->formula >= 0 ? formulas_[static_cast<size_t>(run->formula)] : CellFormula(Bytes(*run));
}

std::string_view OdsSheet::RowAttribute(int row, std::string_view name) const {
  const RowGroup* group = GroupOf(row);
  std::string_view value;
  if (!group || group->added ||
      !ElementAttribute(part_.substr(group->begin, group->startEnd - group->begin), name, value))
    return {};
  return value;
}

std::string_view OdsSheet::CellStyle(int row, int column) const {
  std::string_view style;
  if (const CellRun* run = RunAt(row, column); run && (run->flags & kStyle) &&
                                                ElementAttribute(Bytes(*run), "table:style-name", style))
    return style;
  if (std::string_view rowStyle = RowAttribute(row, "table:default-cell-style-name"); !rowStyle.empty())
    return rowStyle;
  auto it = std::upper_bound(columnStyles_.begin(), columnStyles_.end(), column,
                             [](int c, const std::pair<int, std::string_view>& run) { return c < run.first; });
  if (it == columnStyles_.begin()) return {};
  return std::prev(it)->second;
}

bool OdsSheet::IsRowHidden(int row) const {
  const RowGroup* group = GroupOf(row);
  return group && group->hidden;
}

bool OdsSheet::HoldsFormulas() const {
  for (const RowGroup& group : rows_)
    for (const CellRun& run : Cells(group))
      if (run.flags & kFormula) return true;
  return false;
}

bool OdsSheet::IsFormulaCell(int row, int column) const {
  const CellRun* run = RunAt(row, column);
  return run && (run->flags & kFormula);
}

std::vector<std::pair<int, int>> OdsSheet::FormulaCells() const {
  // A repeat count makes one element stand for many cells: more than these
  // beyond the elements themselves are refused, not enumerated.
  constexpr int64_t kMaxRepeatedFormulas = 1000000;
  int64_t repeated = 0;
  for (const RowGroup& group : rows_)
    for (const CellRun& run : Cells(group))
      if (run.flags & kFormula) repeated += int64_t(group.count) * run.count - 1;
  if (repeated > kMaxRepeatedFormulas)
    throw HostError("the sheet " + Name() + " repeats formulas over more cells than this program computes");
  std::vector<std::pair<int, int>> out;
  out.reserve(static_cast<size_t>(repeated) + cells_.size() / 2);
  for (const RowGroup& group : rows_) {
    // The rows of a group without formulas (the table's empty tail) are not walked.
    const std::span<const CellRun> cells = Cells(group);
    if (std::none_of(cells.begin(), cells.end(), [](const CellRun& run) { return (run.flags & kFormula) != 0; })) continue;
    for (int r = group.firstRow; r < group.firstRow + group.count; ++r)
      for (const CellRun& run : cells)
        if (run.flags & kFormula)
          for (int c = run.firstColumn; c < run.firstColumn + run.count; ++c) out.emplace_back(r, c);
  }
  return out;
}

void OdsSheet::RewriteCell(int row, int column,
                           const std::function<std::string(std::string_view, std::vector<AttributeEdit>)>& rewrite) {
  const RowGroup* found = GroupOf(row);
  if (!found) return;
  if (found->count > 1) SplitRow(row);
  const size_t at = static_cast<size_t>(GroupOf(row) - rows_.data());
  RowGroup& group = rows_[at];
  // A stretch is shared only by neighbours split from one group.
  const bool shared = (at > 0 && rows_[at - 1].firstCell == group.firstCell) ||
                      (at + 1 < rows_.size() && rows_[at + 1].firstCell == group.firstCell);
  const CellRun* current = RunAt(row, column);
  if (!current) return;
  size_t index = static_cast<size_t>(current - cells_.data());
  if (shared || current->count > 1) {
    std::vector<CellRun> own;
    Segmented(group, column, column, own);
    group.firstCell = cells_.size();
    group.cellCount = static_cast<uint32_t>(own.size());
    cells_.insert(cells_.end(), own.begin(), own.end());
    index = static_cast<size_t>(RunAt(row, column) - cells_.data());
  }
  CellRun& run = cells_[index];
  std::string element = rewrite(Bytes(run), PendingEdits(run));
  rewritten_.push_back(std::move(element));
  run.begin = static_cast<uint32_t>(rewritten_.size() - 1);
  run.length = static_cast<uint32_t>(rewritten_.back().size());
  run.flags = static_cast<uint8_t>((run.flags & ~kRepeatChanged) | kRewritten);
  run.formula = -1;  // the formula as it stands is in the element
  group.cellsChanged = true;
  modified_ = true;
}

RowRun OdsSheet::RowsLike(int row) const {
  const RowGroup* group = GroupOf(row);
  return group ? RowRun{group->firstRow, group->count} : RowRun{row, 1};
}

bool OdsSheet::RowHoldsCells(int row, int firstColumn, int lastColumn) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return false;
  for (const CellRun& run : Cells(*group)) {
    if (run.firstColumn > lastColumn) break;
    if (run.firstColumn + run.count - 1 < firstColumn) continue;
    if (run.flags & (kContent | kStyle)) return true;
  }
  return false;
}

// A row that is a group of its own needs no split: SplitAt then asks only
// the starts' own groups, so a filter hiding rows one by one does not cost
// the table's length per row.
void OdsSheet::SplitRow(int row) { SplitAt({row, row + 1}); }

void OdsSheet::SplitAt(const std::vector<int>& starts) {
  if (starts.empty()) return;
  auto cuts = [&](const RowGroup& group) {
    auto it = std::upper_bound(starts.begin(), starts.end(), group.firstRow);
    return it != starts.end() && *it < group.firstRow + group.count ? it : starts.end();
  };
  // Whether any start falls inside a group, asked of the starts' own groups.
  if (std::none_of(starts.begin(), starts.end(), [&](int start) {
        const RowGroup* group = GroupOf(start);
        return group && start > group->firstRow;
      }))
    return;
  HugeVector<RowGroup> out;
  out.reserve(rows_.size() + starts.size());
  for (RowGroup& group : rows_) {
    auto it = cuts(group);
    if (it == starts.end()) {
      out.push_back(std::move(group));
      continue;
    }
    const int groupEnd = group.firstRow + group.count;
    int from = group.firstRow;
    for (; it != starts.end() && *it < groupEnd; ++it) {
      if (*it <= from) continue;
      out.push_back(group);
      out.back().firstRow = from;
      out.back().count = *it - from;
      out.back().repeatChanged = true;
      from = *it;
    }
    out.push_back(group);
    out.back().firstRow = from;
    out.back().count = groupEnd - from;
    out.back().repeatChanged = true;
  }
  rows_ = std::move(out);
}

void OdsSheet::EnsureRows(int lastRow) {
  int have = RowCount();
  if (lastRow <= have) return;
  size_t anchor = rows_.empty() ? rowAnchor_ : rows_.back().added ? rows_.back().begin : rows_.back().end;
  auto add = [&](int firstRow, int count) {
    RowGroup row;
    row.firstRow = firstRow;
    row.count = count;
    row.begin = anchor;
    row.added = true;
    row.firstCell = cells_.size();
    row.cellCount = 1;
    cells_.push_back(CellRun{1, 1});
    rows_.push_back(row);
  };
  if (lastRow - have > 1) add(have + 1, lastRow - have - 1);
  add(lastRow, 1);
}

void OdsSheet::SetRowHidden(int row, bool hidden) {
  if (IsRowHidden(row) == hidden) return;
  EnsureRows(row);
  // The first row of a repeated element joins the rows of that element just
  // before it when they have been given this visibility already: hiding the
  // rows of a long repeat one by one costs one record, not a split each.
  const size_t at = static_cast<size_t>(GroupOf(row) - rows_.data());
  if (at > 0 && rows_[at].firstRow == row) {
    RowGroup& before = rows_[at - 1];
    RowGroup& group = rows_[at];
    const bool sameElement = !before.added && !group.added && before.begin == group.begin &&
                             before.firstCell == group.firstCell && before.cellCount == group.cellCount &&
                             before.cellsChanged == group.cellsChanged;
    if (sameElement && before.hidden == hidden && before.firstRow + before.count == row) {
      ++before.count;
      before.repeatChanged = true;
      if (group.count == 1) {
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
      } else {
        ++group.firstRow;
        --group.count;
        group.repeatChanged = true;
      }
      modified_ = true;
      return;
    }
  }
  SplitRow(row);
  RowGroup& group = rows_[static_cast<size_t>(GroupOf(row) - rows_.data())];
  group.hidden = hidden;
  group.visibilityChanged = true;
  modified_ = true;
}

void OdsSheet::Segmented(const RowGroup& row, int firstColumn, int lastColumn, std::vector<CellRun>& out) const {
  out.clear();
  auto split = [&](CellRun run, int column) {
    CellRun after = run;
    run.count = column - run.firstColumn;
    after.firstColumn = column;
    after.count -= run.count;
    run.flags |= kRepeatChanged;
    after.flags |= kRepeatChanged;
    out.push_back(run);
    return after;
  };
  int end = 0;
  for (CellRun run : Cells(row)) {
    for (int column : {firstColumn, lastColumn + 1})
      if (column > run.firstColumn && column < run.firstColumn + run.count) run = split(run, column);
    out.push_back(run);
    end = run.firstColumn + run.count - 1;
  }
  if (end < lastColumn) {
    CellRun pad{end + 1, lastColumn - end};
    if (firstColumn > pad.firstColumn) pad = split(pad, firstColumn);
    out.push_back(pad);
  }
}

void OdsSheet::PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const RowNumbers& sourceOf) {
  PlaceRowCells(firstRow, firstColumn, lastColumn, PiecesOf(firstRow, sourceOf));
}

void OdsSheet::PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const std::vector<RowPiece>& pieces) {
  if (pieces.empty() ||
      std::none_of(pieces.begin(), pieces.end(), [](const RowPiece& p) { return p.target != p.source; }))
    return;
  const int lastRow = pieces.back().target + pieces.back().count - 1;
  EnsureRows(lastRow);
  // Rows that move together out of one group stay one group: groups are cut
  // only where the rows' sources stop running on or a source group starts,
  // so a repeated block that moves or stays whole is still written once.
  std::vector<int> starts;
  for (const RowPiece& piece : JoinedPieces(pieces)) {
    starts.push_back(piece.target);
    for (int row = piece.source; row < piece.source + piece.count;) {
      const RowRun like = RowsLike(row);
      if (like.firstRow == row && row != piece.source) starts.push_back(piece.target + (row - piece.source));
      row = like.firstRow + like.count;
    }
  }
  starts.push_back(lastRow + 1);
  SplitAt(starts);
  // The source of a target row, the pieces walked in row order.
  auto piece = pieces.begin();
  auto sourceOfRow = [&](int row) {
    while (piece->target + piece->count <= row) ++piece;
    return piece->source + (row - piece->target);
  };
  auto groupAt = [this](int row) {
    return static_cast<size_t>(std::lower_bound(rows_.begin(), rows_.end(), row,
                                                [](const RowGroup& g, int r) { return g.firstRow < r; }) -
                               rows_.begin());
  };
  const size_t first = groupAt(firstRow), end = groupAt(lastRow + 1);
  int width = 0;
  for (size_t k = first; k < end; ++k) {
    std::span<const CellRun> cells = Cells(rows_[k]);
    if (!cells.empty()) width = std::max(width, cells.back().firstColumn + cells.back().count - 1);
  }
  // Columns no row reaches hold nothing to move.
  lastColumn = std::min(lastColumn, width);
  if (lastColumn < firstColumn) return;

  // Each group's source row, and which groups keep their own stretch.
  std::vector<int> fromOf(rows_.size());
  std::vector<uint8_t> inUse(rows_.size(), 0);  // the group's stretch stays with it or went to a moved group
  for (size_t k = 0; k < rows_.size(); ++k) {
    fromOf[k] = k >= first && k < end ? sourceOfRow(rows_[k].firstRow) : rows_[k].firstRow;
    if (fromOf[k] == rows_[k].firstRow) inUse[k] = 1;
  }
  auto within = [&](std::span<const CellRun> runs) {
    return runs.empty() ||
           (runs.front().firstColumn >= firstColumn && runs.back().firstColumn + runs.back().count - 1 <= lastColumn);
  };
  // A moved group whose own runs all lie within the columns takes the
  // source's stretch as it is when that fills the columns exactly, holds no
  // formula and no other group uses it (a sort of whole rows: nothing is
  // copied). Otherwise it gets new runs: its own before and after the
  // columns and the source's within (padded and split to the columns),
  // their formulas moved with them, added after the stretches read.
  std::vector<CellRun> added;
  std::vector<CellRun> own, source;
  std::vector<std::pair<size_t, uint32_t>> stretches(rows_.size());  // taken once all are made
  std::vector<uint8_t> inAdded(rows_.size(), 0);                     // the stretch is one of `added`
  for (size_t k = 0; k < rows_.size(); ++k) {
    RowGroup& row = rows_[k];
    std::span<const CellRun> runs = Cells(row);
    const int from = fromOf[k];
    if (from == row.firstRow) {
      stretches[k] = {row.firstCell, row.cellCount};
      continue;
    }
    row.cellsChanged = true;
    const RowGroup& src = *GroupOf(from);
    const size_t g = static_cast<size_t>(&src - rows_.data());
    std::span<const CellRun> srcRuns = Cells(src);
    const bool sharedSpan = (g > 0 && rows_[g - 1].firstCell == src.firstCell) ||
                            (g + 1 < rows_.size() && rows_[g + 1].firstCell == src.firstCell);
    if (!inUse[g] && !sharedSpan && within(runs) && !srcRuns.empty() && within(srcRuns) &&
        srcRuns.back().firstColumn + srcRuns.back().count - 1 == lastColumn &&
        std::none_of(srcRuns.begin(), srcRuns.end(), [](const CellRun& r) { return (r.flags & kFormula) != 0; })) {
      inUse[g] = 1;
      stretches[k] = {src.firstCell, src.cellCount};
      continue;
    }
    const size_t at = added.size();
    const int rowDelta = row.firstRow - from;
    // The row's own runs are only kept outside the columns: a row whose
    // runs all lie within them keeps none.
    own.clear();
    if (!within(runs)) Segmented(row, firstColumn, lastColumn, own);
    Segmented(src, firstColumn, lastColumn, source);
    for (const CellRun& run : own)
      if (run.firstColumn < firstColumn) added.push_back(run);
    for (CellRun run : source) {
      if (run.firstColumn < firstColumn || run.firstColumn > lastColumn) continue;
      if (run.flags & kFormula) {
        std::string now = run.formula >= 0 ? formulas_[static_cast<size_t>(run.formula)] : CellFormula(Bytes(run));
        formulas_.push_back(ShiftOdsFormula(now, rowDelta));
        run.formula = static_cast<int>(formulas_.size() - 1);
      }
      added.push_back(run);
    }
    for (const CellRun& run : own)
      if (run.firstColumn > lastColumn) added.push_back(run);
    stretches[k] = {at, static_cast<uint32_t>(added.size() - at)};
    inAdded[k] = 1;
  }
  const size_t base = cells_.size();
  cells_.insert(cells_.end(), added.begin(), added.end());
  for (size_t k = 0; k < rows_.size(); ++k) {
    rows_[k].firstCell = stretches[k].first + (inAdded[k] ? base : 0);
    rows_[k].cellCount = stretches[k].second;
  }
  RecomputeUsedRange();
  modified_ = true;
}

void OdsSheet::RecomputeUsedRange() {
  used_ = kNoCells;
  for (const RowGroup& group : rows_)
    for (const CellRun& run : Cells(group))
      if (run.flags & kContent)
        Include(used_, group.firstRow, run.firstColumn, group.firstRow + group.count - 1,
                run.firstColumn + run.count - 1);
}

std::string OdsSheet::CellXmlOf(const CellRun& run) const {
  std::string_view name = run.flags & kCovered ? "table:covered-table-cell" : "table:table-cell";
  if (run.length == 0) return EditedStartTag({}, name, {{kColumnsRepeated, CountValue(run.count)}}, true);
  std::string_view bytes = Bytes(run);
  if (!(run.flags & kRepeatChanged) && run.formula < 0) return std::string(bytes);
  XmlScanner scanner(bytes.data(), bytes.size());
  XmlScanner::Tag tag = scanner.ReadTag();
  size_t tagSize = static_cast<size_t>(tag.end - tag.begin);
  return EditedStartTag(bytes.substr(0, tagSize), tag.qname, PendingEdits(run), tag.selfClosing) +
         std::string(bytes.substr(tagSize));
}

std::vector<AttributeEdit> OdsSheet::PendingEdits(const CellRun& run) const {
  std::vector<AttributeEdit> edits;
  if (run.flags & kRepeatChanged) edits.push_back({kColumnsRepeated, CountValue(run.count)});
  if (run.formula >= 0) {
    std::string escaped;
    AppendEscapedXml(escaped, formulas_[static_cast<size_t>(run.formula)], true);
    edits.push_back({"table:formula", std::move(escaped)});
  }
  return edits;
}

void OdsSheet::WriteRow(const RowGroup& row, Pieces& pieces,
                        std::deque<std::string>& written) const {
  const bool fromRecords = row.added || row.cellsChanged;
  const bool selfClosing = !row.added && row.end == row.startEnd;
  const bool empty = fromRecords ? row.cellCount == 0 && row.tailBegin == row.contentEnd : selfClosing;
  if (row.added || row.repeatChanged || row.visibilityChanged || selfClosing != empty) {
    std::vector<AttributeEdit> edits;
    if (row.added || row.repeatChanged) {
      // The group that ends the sheet carries the empty rows written past it.
      const int64_t past = row.firstRow + row.count - 1 == kMaxRows ? rowsPastEnd_ : 0;
      edits.push_back({kRowsRepeated, CountValue(row.count + past)});
    }
    if (row.visibilityChanged || (row.added && row.hidden))
      edits.push_back({"table:visibility", row.hidden ? std::optional<std::string>("collapse") : std::nullopt});
    std::string_view tag = row.added ? std::string_view() : part_.substr(row.begin, row.startEnd - row.begin);
    pieces.push_back(written.emplace_back(EditedStartTag(tag, "table:table-row", std::move(edits), empty)));
  } else {
    pieces.push_back(part_.substr(row.begin, row.startEnd - row.begin));
  }
  if (empty) return;
  if (!fromRecords) {
    pieces.push_back(part_.substr(row.startEnd, row.contentEnd - row.startEnd));
  } else {
    for (const CellRun& run : Cells(row)) {
      if (run.length > 0 && !(run.flags & kRepeatChanged) && run.formula < 0) pieces.push_back(Bytes(run));
      else if (run.length == 0 && run.count == 1 && !(run.flags & kCovered)) pieces.push_back(kEmptyCell);
      else pieces.push_back(written.emplace_back(CellXmlOf(run)));
    }
    if (!row.added) pieces.push_back(part_.substr(row.tailBegin, row.contentEnd - row.tailBegin));
  }
  pieces.push_back(kRowEnd);
}

void OdsSheet::Write(Pieces& pieces, std::deque<std::string>& written) const {
  if (selfClosing_ && !rows_.empty()) {  // an empty table given rows
    std::string_view tag = StartTag();
    tag.remove_suffix(2);
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t' || tag.back() == '\n' || tag.back() == '\r'))
      tag.remove_suffix(1);
    pieces.push_back(tag);
    pieces.push_back(">");
    for (const RowGroup& row : rows_) WriteRow(row, pieces, written);
    pieces.push_back("</table:table>");
    return;
  }
  // Rows left as read are copied with the bytes around them.
  size_t more = 1;
  for (const RowGroup& row : rows_)
    if (row.added || row.repeatChanged || row.visibilityChanged || row.cellsChanged) more += row.cellCount + 4;
  pieces.reserve(pieces.size() + more);
  size_t at = begin_;
  for (const RowGroup& row : rows_) {
    if (!row.added && !row.repeatChanged && !row.visibilityChanged && !row.cellsChanged) continue;
    if (row.begin > at) {
      pieces.push_back(part_.substr(at, row.begin - at));
      at = row.begin;
    }
    WriteRow(row, pieces, written);
    if (!row.added) at = std::max(at, row.end);
  }
  pieces.push_back(part_.substr(at, end_ - at));
}

std::string OdsSheet::Xml() const {
  Pieces pieces;
  std::deque<std::string> written;
  Write(pieces, written);
  std::string out;
  for (std::string_view piece : pieces) out += piece;
  return out;
}

}  // namespace host::odf
