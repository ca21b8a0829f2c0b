#pragma once
// The delimiter of a CSV text, told as spreadsheet programs tell it: a first
// line "sep=X" names it (the reference program's convention); otherwise the
// first of comma, semicolon, tab and "|" that splits every one of the first
// records (up to 20; blank lines do not count) into the same number of
// fields, more than one, outside quotes. When none does, the first record
// decides: a comma where it holds one, else a semicolon, a tab or a "|".
// So a semicolon file with decimal commas reads with semicolons whatever
// record comes first. Where the user's locale writes decimal commas, the
// semicolon is tried before the comma, as spreadsheet programs there
// separate lists with semicolons.

#include <array>
#include <string_view>

namespace host::csv {

class DelimiterDetector {
 public:
  static constexpr int kRecords = 20;

  explicit DelimiterDetector(bool decimalComma = false)
      : candidates_(decimalComma ? std::array<char, 4>{';', ',', '\t', '|'} : std::array<char, 4>{',', ';', '\t', '|'}) {}

  // Reads piece; false once kRecords records have been read.
  bool Feed(std::string_view piece);
  // The delimiter the text read so far gives.
  char Result() const;

 private:
  void EndRecord();

  std::array<char, 4> candidates_;
  std::array<int, 4> inRecord_{};  // each candidate's count in the current record
  std::array<int, 4> common_{};    // the count every record had so far; -1 once they differ
  std::array<bool, 4> inFirst_{};  // held by the first record
  int records_ = 0;
  bool content_ = false, inQuotes_ = false, afterCr_ = false, done_ = false;
};

// The length of a "sep=X" first line at the start of text, its line ending
// included, with X in delimiter; 0 when text does not start with one.
size_t SeparatorLine(std::string_view text, char& delimiter);

}  // namespace host::csv
