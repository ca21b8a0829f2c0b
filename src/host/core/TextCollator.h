#pragma once
// The order in which the sort puts texts: the user's language's order from
// ICU, without regard to case (in every script), accents as a secondary
// difference ("eclair" before "éclair" before "f"), symbols and punctuation
// before digits before letters. Hyphens and apostrophes are passed over
// ("cob", "coop", "co-op"); between texts that are otherwise equal, the one
// with fewer of them comes first.
//
// Two ways to compare, which always agree: texts of plain ASCII characters
// that the language orders one by one are compared through a table of
// weights (fast); any other text through its ICU sort key.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace host {

class TextCollator {
 public:
  // The order of the user's locale, from LC_ALL, LC_COLLATE or LANG (the
  // first that is set); the root order when none is set or it is "C" or
  // "POSIX". Made once per thread.
  static const TextCollator& ForUserLocale();

  // The order of a locale named the POSIX way ("de_DE.UTF-8") or the ICU way
  // ("sv", "de@collation=phonebook"); "" is the root order. An unknown
  // locale gets the root order. HostError when ICU has no collation data.
  explicit TextCollator(std::string_view locale);
  ~TextCollator();
  TextCollator(const TextCollator&) = delete;
  TextCollator& operator=(const TextCollator&) = delete;

  // <0, 0 or >0 as a comes before, with or after b. Texts are UTF-8.
  int Compare(std::string_view a, std::string_view b) const;

  // The fast way, for simple texts only. False when text is not simple;
  // otherwise prefix holds its first eight weights, so that prefixes that
  // differ decide between two simple texts without CompareSimple.
  bool SimplePrefix(std::string_view text, uint64_t& prefix) const;
  // Compares two simple texts.
  int CompareSimple(std::string_view a, std::string_view b) const;

  // The other way, for any text: appends bytes to out that compare (as
  // unsigned bytes, shorter first) the way Compare orders their texts.
  void AppendSortKey(std::string_view text, std::string& out) const;

  // The locale whose order this is ("" for root), as handed to ICU.
  const std::string& Locale() const { return locale_; }

 private:
  void BuildTable();

  std::string locale_;
  UCollator* collator_ = nullptr;
  // Per ASCII character: its weight in the language's order (0 when the
  // order passes over it) and whether texts holding it can use the table.
  uint8_t weight_[128] = {};
  bool simple_[128] = {};
};

// The locale whose order a POSIX locale value ("de_DE.UTF-8@euro", "C")
// stands for, in ICU's terms: "de_DE", or "" for root.
std::string CollationLocaleOf(std::string_view posixLocale);

}  // namespace host
