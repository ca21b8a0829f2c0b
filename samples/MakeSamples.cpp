// Writes the sample workbooks shipped beside the program: small, realistic
// tables a new user can sort and filter at once. Run at build time:
//   tabulory_make_samples <output folder>
// The content is fixed (a seeded generator), so every build writes the same
// tables.

#include <xlsxwriter.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A small deterministic generator, so the tables look varied but never change.
class Numbers {
 public:
  explicit Numbers(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 8) & 0xFFFFFF;
  }
  int Between(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }
  template <typename T>
  const T& Pick(const std::vector<T>& from) { return from[Next() % from.size()]; }

 private:
  uint32_t state_;
};

struct Formats {
  lxw_format* header;
  lxw_format* date;
  lxw_format* money;
  lxw_format* whole;
};

Formats MakeFormats(lxw_workbook* book) {
  Formats f{};
  f.header = workbook_add_format(book);
  format_set_bold(f.header);
  format_set_bg_color(f.header, 0xDDEBF7);
  format_set_bottom(f.header, LXW_BORDER_THIN);
  f.date = workbook_add_format(book);
  format_set_num_format(f.date, "yyyy-mm-dd");
  f.money = workbook_add_format(book);
  format_set_num_format(f.money, "#,##0.00");
  f.whole = workbook_add_format(book);
  format_set_num_format(f.whole, "0");
  return f;
}

void Headers(lxw_worksheet* sheet, const std::vector<std::string>& names, lxw_format* format) {
  for (size_t c = 0; c < names.size(); ++c)
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), names[c].c_str(), format);
  worksheet_freeze_panes(sheet, 1, 0);
}

lxw_workbook* Open(const std::string& folder, const char* name, const char* title) {
  const std::string path = folder + "/" + name;
  lxw_workbook* book = workbook_new(path.c_str());
  if (!book) return nullptr;
  // The library takes the texts as char*; it only reads them.
  static char author[] = "Tabulory";
  static char company[] = "Carvenel";
  static char comments[] = "Sample workbook: try sorting or filtering it.";
  lxw_doc_properties props{};
  props.title = const_cast<char*>(title);
  props.author = author;
  props.company = company;
  props.comments = comments;
  props.created = 1609459200;  // fixed, so builds do not differ
  workbook_set_properties(book, &props);
  return book;
}

bool Close(lxw_workbook* book, const char* name) {
  const lxw_error error = workbook_close(book);
  if (error != LXW_NO_ERROR) {
    std::fprintf(stderr, "cannot write %s: %s\n", name, lxw_strerror(error));
    return false;
  }
  return true;
}

lxw_datetime Day(int year, int month, int day) {
  return lxw_datetime{year, month, day, 0, 0, 0.0};
}

bool WriteSales(const std::string& folder) {
  const char* name = "Sales 2021.xlsx";
  lxw_workbook* book = Open(folder, name, "Sales 2021");
  if (!book) return false;
  const Formats f = MakeFormats(book);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Sales");
  Headers(sheet, {"Date", "Region", "Salesperson", "Product", "Units", "Unit price", "Amount"},
          f.header);
  const std::vector<std::string> regions{"North", "South", "East", "West"};
  const std::vector<std::string> people{"Ada Brenner", "Luis Ortega", "Mei Tanaka", "Tom Hale",
                                        "Sara Lind", "Omar Haddad"};
  struct Product { const char* name; double price; };
  const std::vector<Product> products{{"Desk lamp", 24.90}, {"Office chair", 149.00},
                                      {"Monitor 27\"", 219.50}, {"Keyboard", 39.99},
                                      {"Paper (box)", 18.75}, {"Standing desk", 389.00}};
  Numbers n(2021);
  for (lxw_row_t r = 1; r <= 60; ++r) {
    const int month = 1 + static_cast<int>((r - 1) / 5);
    const Product& p = n.Pick(products);
    const int units = n.Between(1, 40);
    lxw_datetime day = Day(2021, month, n.Between(1, 28));
    worksheet_write_datetime(sheet, r, 0, &day, f.date);
    worksheet_write_string(sheet, r, 1, n.Pick(regions).c_str(), nullptr);
    worksheet_write_string(sheet, r, 2, n.Pick(people).c_str(), nullptr);
    worksheet_write_string(sheet, r, 3, p.name, nullptr);
    worksheet_write_number(sheet, r, 4, units, f.whole);
    worksheet_write_number(sheet, r, 5, p.price, f.money);
    worksheet_write_number(sheet, r, 6, units * p.price, f.money);
  }
  worksheet_set_column(sheet, 0, 0, 12, nullptr);
  worksheet_set_column(sheet, 1, 1, 10, nullptr);
  worksheet_set_column(sheet, 2, 3, 16, nullptr);
  worksheet_set_column(sheet, 4, 6, 11, nullptr);
  return Close(book, name);
}

bool WriteContacts(const std::string& folder) {
  const char* name = "Customer Contacts.xlsx";
  lxw_workbook* book = Open(folder, name, "Customer contacts");
  if (!book) return false;
  const Formats f = MakeFormats(book);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Contacts");
  Headers(sheet, {"Last name", "First name", "Company", "City", "Phone", "E-mail", "Customer since"},
          f.header);
  const std::vector<std::string> last{"Andersen", "Baker", "Costa", "Dubois", "Eriksen", "Fischer",
                                      "Garcia", "Horvat", "Ivanova", "Jansen", "Kowalski", "Laine"};
  const std::vector<std::string> first{"Anna", "Ben", "Carla", "David", "Elena", "Frank", "Greta",
                                       "Hugo", "Ines", "Jonas"};
  const std::vector<std::string> companies{"Northwind Supply", "Bluebell Foods", "Kestrel Tools",
                                           "Harbor Print", "Maple Logistics", "Quartz Optics"};
  const std::vector<std::string> cities{"Oslo", "Lyon", "Porto", "Graz", "Turku", "Leeds", "Gdansk"};
  Numbers n(77);
  for (lxw_row_t r = 1; r <= 40; ++r) {
    const std::string& l = n.Pick(last);
    const std::string& fn = n.Pick(first);
    const std::string& company = n.Pick(companies);
    std::string domain;
    for (char c : company)
      if (c != ' ') domain += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::string mail = fn + "." + l + "@" + domain + ".example";
    for (char& c : mail)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    char phone[32];
    std::snprintf(phone, sizeof phone, "+44 20 %04d %04d", n.Between(1000, 9999), n.Between(0, 9999));
    lxw_datetime since = Day(n.Between(2012, 2021), n.Between(1, 12), n.Between(1, 28));
    worksheet_write_string(sheet, r, 0, l.c_str(), nullptr);
    worksheet_write_string(sheet, r, 1, fn.c_str(), nullptr);
    worksheet_write_string(sheet, r, 2, company.c_str(), nullptr);
    worksheet_write_string(sheet, r, 3, n.Pick(cities).c_str(), nullptr);
    worksheet_write_string(sheet, r, 4, phone, nullptr);
    worksheet_write_string(sheet, r, 5, mail.c_str(), nullptr);
    worksheet_write_datetime(sheet, r, 6, &since, f.date);
  }
  worksheet_set_column(sheet, 0, 1, 12, nullptr);
  worksheet_set_column(sheet, 2, 2, 18, nullptr);
  worksheet_set_column(sheet, 3, 3, 9, nullptr);
  worksheet_set_column(sheet, 4, 4, 17, nullptr);
  worksheet_set_column(sheet, 5, 5, 38, nullptr);
  worksheet_set_column(sheet, 6, 6, 14, nullptr);
  return Close(book, name);
}

bool WriteStock(const std::string& folder) {
  const char* name = "Stock List.xlsx";
  lxw_workbook* book = Open(folder, name, "Stock list");
  if (!book) return false;
  const Formats f = MakeFormats(book);
  struct Item { const char* sku; const char* name; const char* category; double cost; };
  const std::vector<Item> items{
      {"FA-1001", "Hex bolt M8", "Fasteners", 0.12},   {"FA-1002", "Wood screw 4x40", "Fasteners", 0.04},
      {"FA-1003", "Wall plug 8mm", "Fasteners", 0.03}, {"TL-2001", "Claw hammer", "Tools", 9.80},
      {"TL-2002", "Cordless drill", "Tools", 64.00},   {"TL-2003", "Tape measure 5m", "Tools", 4.25},
      {"PT-3001", "Wall paint white 5l", "Paint", 21.40}, {"PT-3002", "Primer 1l", "Paint", 7.90},
      {"PT-3003", "Brush set", "Paint", 6.15},          {"EL-4001", "Cable 3x1.5 (m)", "Electrical", 0.85},
      {"EL-4002", "Socket outlet", "Electrical", 2.60}, {"EL-4003", "LED bulb E27", "Electrical", 1.95},
      {"GA-5001", "Garden hose 25m", "Garden", 18.30},  {"GA-5002", "Pruning shears", "Garden", 11.20}};
  for (const char* warehouse : {"Warehouse North", "Warehouse South"}) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, warehouse);
    Headers(sheet, {"SKU", "Item", "Category", "On hand", "Reorder level", "Unit cost", "Stock value"},
            f.header);
    Numbers n(warehouse[10] == 'N' ? 11 : 29);
    lxw_row_t r = 1;
    for (const Item& item : items) {
      const int onHand = n.Between(0, 900);
      const int reorder = 50 * n.Between(1, 4);
      worksheet_write_string(sheet, r, 0, item.sku, nullptr);
      worksheet_write_string(sheet, r, 1, item.name, nullptr);
      worksheet_write_string(sheet, r, 2, item.category, nullptr);
      worksheet_write_number(sheet, r, 3, onHand, f.whole);
      worksheet_write_number(sheet, r, 4, reorder, f.whole);
      worksheet_write_number(sheet, r, 5, item.cost, f.money);
      worksheet_write_number(sheet, r, 6, onHand * item.cost, f.money);
      ++r;
    }
    worksheet_set_column(sheet, 0, 0, 10, nullptr);
    worksheet_set_column(sheet, 1, 1, 22, nullptr);
    worksheet_set_column(sheet, 2, 2, 12, nullptr);
    worksheet_set_column(sheet, 3, 6, 13, nullptr);
  }
  lxw_worksheet* suppliers = workbook_add_worksheet(book, "Suppliers");
  Headers(suppliers, {"Category", "Supplier", "Lead time (days)", "Contact"}, f.header);
  const char* rows[][4] = {{"Fasteners", "Boltwerk GmbH", "5", "orders@boltwerk.example"},
                           {"Tools", "Kestrel Tools", "12", "trade@kestrel.example"},
                           {"Paint", "Colorado Coatings", "7", "sales@coatings.example"},
                           {"Electrical", "Volta Parts", "9", "desk@volta.example"},
                           {"Garden", "Greenleaf Supply", "14", "hello@greenleaf.example"}};
  lxw_row_t r = 1;
  for (const auto& row : rows) {
    worksheet_write_string(suppliers, r, 0, row[0], nullptr);
    worksheet_write_string(suppliers, r, 1, row[1], nullptr);
    worksheet_write_number(suppliers, r, 2, std::stoi(row[2]), f.whole);
    worksheet_write_string(suppliers, r, 3, row[3], nullptr);
    ++r;
  }
  worksheet_set_column(suppliers, 0, 1, 18, nullptr);
  worksheet_set_column(suppliers, 2, 2, 16, nullptr);
  worksheet_set_column(suppliers, 3, 3, 26, nullptr);
  return Close(book, name);
}

bool WriteExpenses(const std::string& folder) {
  const char* name = "Household Expenses.xlsx";
  lxw_workbook* book = Open(folder, name, "Household expenses");
  if (!book) return false;
  const Formats f = MakeFormats(book);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Expenses");
  Headers(sheet, {"Date", "Category", "Description", "Amount", "Paid by", "Receipt"}, f.header);
  struct Kind { const char* category; const char* text; int low; int high; };
  const std::vector<Kind> kinds{{"Groceries", "Weekly shop", 45, 160}, {"Transport", "Fuel", 30, 80},
                                {"Transport", "Train tickets", 12, 60}, {"Utilities", "Electricity", 60, 120},
                                {"Utilities", "Internet", 35, 35},      {"Leisure", "Cinema", 18, 40},
                                {"Health", "Pharmacy", 8, 45},          {"Home", "Hardware store", 15, 140}};
  const std::vector<std::string> payers{"Kim", "Alex", "Joint account"};
  Numbers n(4242);
  for (lxw_row_t r = 1; r <= 48; ++r) {
    const Kind& k = n.Pick(kinds);
    lxw_datetime day = Day(2021, 1 + static_cast<int>((r - 1) / 8), n.Between(1, 28));
    worksheet_write_datetime(sheet, r, 0, &day, f.date);
    worksheet_write_string(sheet, r, 1, k.category, nullptr);
    worksheet_write_string(sheet, r, 2, k.text, nullptr);
    worksheet_write_number(sheet, r, 3, n.Between(k.low * 100, k.high * 100) / 100.0, f.money);
    worksheet_write_string(sheet, r, 4, n.Pick(payers).c_str(), nullptr);
    if (n.Between(0, 3) != 0) worksheet_write_string(sheet, r, 5, "yes", nullptr);
  }
  worksheet_set_column(sheet, 0, 0, 12, nullptr);
  worksheet_set_column(sheet, 1, 2, 16, nullptr);
  worksheet_set_column(sheet, 3, 5, 13, nullptr);
  return Close(book, name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = WriteSales(folder) && WriteContacts(folder) && WriteStock(folder) &&
                  WriteExpenses(folder);
  return ok ? 0 : 1;
}
