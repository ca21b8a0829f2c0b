#include "host/core/TextCollator.h"

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "host/core/HostError.h"

namespace host {

namespace {

// Passed over when comparing; their number breaks ties.
inline bool IsPassedOver(unsigned char c) { return c == '-' || c == '\''; }

size_t PassedOverCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                           [](char c) { return IsPassedOver(static_cast<unsigned char>(c)); }));
}

// The ICU sort key of a UTF-16 text (strength as set on the collator).
std::string IcuSortKey(const UCollator* collator, const std::u16string& text) {
  std::string key(text.size() * 4 + 16, '\0');
  for (;;) {
    const int32_t need = ucol_getSortKey(collator, reinterpret_cast<const UChar*>(text.data()),
                                         static_cast<int32_t>(text.size()), reinterpret_cast<uint8_t*>(key.data()),
                                         static_cast<int32_t>(key.size()));
    if (need <= static_cast<int32_t>(key.size())) {
      key.resize(need > 0 ? need - 1 : 0);  // without the closing zero byte
      return key;
    }
    key.resize(need);
  }
}

// UTF-8 to UTF-16, hyphens and apostrophes left out; malformed bytes become
// U+FFFD.
std::u16string ToUtf16WithoutPassedOver(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text)
    if (!IsPassedOver(static_cast<unsigned char>(c))) kept.push_back(c);
  std::u16string out(kept.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length, kept.data(),
                       static_cast<int32_t>(kept.size()), 0xFFFD, nullptr, &status);
  out.resize(U_SUCCESS(status) ? length : 0);
  return out;
}

UCollator* OpenCollator(const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status)) {
    if (collator) ucol_close(collator);
    status = U_ZERO_ERROR;
    collator = ucol_open("", &status);
    if (U_FAILURE(status)) {
      if (collator) ucol_close(collator);
      throw HostError("Texts cannot be sorted: the collation data of the ICU library is missing on this computer.");
    }
  }
  // Case makes no difference, accents a secondary one; symbols and
  // punctuation keep their own places (before digits); digits compare as
  // characters, as they do in a text.
  const std::pair<UColAttribute, UColAttributeValue> settings[] = {
      {UCOL_STRENGTH, UCOL_SECONDARY},
      {UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE},
      {UCOL_NORMALIZATION_MODE, UCOL_ON},
      {UCOL_NUMERIC_COLLATION, UCOL_OFF},
      {UCOL_CASE_LEVEL, UCOL_OFF},
  };
  for (const auto& [attribute, value] : settings) {
    status = U_ZERO_ERROR;
    ucol_setAttribute(collator, attribute, value, &status);
  }
  return collator;
}

// Marks the characters of the strings (not single characters) in set that
// consist of ASCII only, such as the contraction "ch" in Czech.
void MarkAsciiStrings(const USet* set, bool (&marked)[128]) {
  const int32_t count = uset_getItemCount(set);
  std::vector<UChar> buffer(64);
  for (int32_t i = 0; i < count; ++i) {
    UChar32 start = 0, end = 0;
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uset_getItem(set, i, &start, &end, buffer.data(), static_cast<int32_t>(buffer.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      buffer.resize(length + 1);
      status = U_ZERO_ERROR;
      length = uset_getItem(set, i, &start, &end, buffer.data(), static_cast<int32_t>(buffer.size()), &status);
    }
    if (U_FAILURE(status)) continue;
    if (length == 0) continue;  // a range of single characters
    if (std::all_of(buffer.begin(), buffer.begin() + length, [](UChar c) { return c < 128; }))
      for (int32_t k = 0; k < length; ++k) marked[buffer[k]] = true;
  }
}

}  // namespace

std::string CollationLocaleOf(std::string_view posix) {
  std::string_view name = posix, keywords;
  const size_t at = name.find('@');
  if (at != std::string_view::npos) {
    // ICU keywords ("@collation=phonebook") stay; POSIX modifiers ("@euro") go.
    if (name.find('=', at) != std::string_view::npos) keywords = name.substr(at);
    name = name.substr(0, at);
  }
  name = name.substr(0, name.find('.'));  // the character set
  if (name == "C" || name == "POSIX") return "";
  return std::string(name) + std::string(keywords);
}

const TextCollator& TextCollator::ForUserLocale() {
  static thread_local const TextCollator collator([] {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
      const char* value = std::getenv(variable);
      if (value && *value) return std::string(value);
    }
    return std::string();
  }());
  return collator;
}

TextCollator::TextCollator(std::string_view locale)
    : locale_(CollationLocaleOf(locale)), collator_(OpenCollator(locale_)) {
  BuildTable();
}

TextCollator::~TextCollator() { ucol_close(collator_); }

void TextCollator::BuildTable() {
  // The table holds each character's rank among the primary weights of the
  // ASCII characters. It orders texts as ICU does as long as every character
  // maps to one weight on its own (no contraction, expansion or context) and
  // all carry the same secondary weight; other characters are not simple.
  // The root order has no contraction of ASCII characters; a language's own
  // rules may add some ("ch" in Czech): they are among its tailored strings.
  bool excluded[128] = {};
  UErrorCode status = U_ZERO_ERROR;
  USet* tailored = ucol_getTailoredSet(collator_, &status);
  if (U_FAILURE(status)) std::fill(std::begin(excluded), std::end(excluded), true);
  if (tailored) {
    MarkAsciiStrings(tailored, excluded);
    uset_close(tailored);
  }
  for (int c = 1; c < 128; ++c) {
    // An expansion yields more than one collation element.
    const UChar text[1] = {static_cast<UChar>(c)};
    status = U_ZERO_ERROR;
    UCollationElements* elements = ucol_openElements(collator_, text, 1, &status);
    int count = 0;
    while (U_SUCCESS(status) && ucol_next(elements, &status) != UCOL_NULLORDER) ++count;
    ucol_closeElements(elements);
    if (U_FAILURE(status) || count > 1) excluded[c] = true;
  }

  const std::string emptyKey = IcuSortKey(collator_, u"");
  std::string primary[128], rest[128];
  std::string commonRest;
  bool haveCommon = false;
  for (int c = 1; c < 128; ++c) {
    const std::string key = IcuSortKey(collator_, std::u16string(1, static_cast<char16_t>(c)));
    const size_t cut = key.find('\x01');
    primary[c] = key.substr(0, cut);
    rest[c] = cut == std::string::npos ? std::string() : key.substr(cut);
    if (!primary[c].empty() && !excluded[c] && !haveCommon) {
      commonRest = rest[c];
      haveCommon = true;
    }
  }
  std::vector<std::string> ranks;
  for (int c = 1; c < 128; ++c) {
    if (excluded[c]) continue;
    // Passed over by ICU altogether (control characters): weight 0. A
    // character with a primary weight must carry the common secondary one.
    if (primary[c].empty() ? rest[c] == emptyKey : rest[c] == commonRest) {
      simple_[c] = true;
      if (!primary[c].empty()) ranks.push_back(primary[c]);
    }
  }
  std::sort(ranks.begin(), ranks.end());
  ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
  for (int c = 1; c < 128; ++c) {
    if (!simple_[c] || primary[c].empty()) continue;
    weight_[c] = static_cast<uint8_t>(std::lower_bound(ranks.begin(), ranks.end(), primary[c]) - ranks.begin() + 1);
  }
  // Hyphen and apostrophe are passed over by the order itself.
  for (unsigned char c : {'-', '\''}) {
    simple_[c] = true;
    weight_[c] = 0;
  }
}

bool TextCollator::SimplePrefix(std::string_view text, uint64_t& prefix) const {
  uint64_t packed = 0;
  int taken = 0;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 128 || !simple_[c]) return false;
    if (weight_[c] != 0 && taken < 8) {
      packed = (packed << 8) | weight_[c];
      ++taken;
    }
  }
  prefix = taken == 0 ? 0 : packed << (8 * (8 - taken));
  return true;
}

int TextCollator::CompareSimple(std::string_view a, std::string_view b) const {
  if (a == b) return 0;  // the common tie: the same text again
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && weight_[static_cast<unsigned char>(a[i])] == 0) ++i;
    while (j < b.size() && weight_[static_cast<unsigned char>(b[j])] == 0) ++j;
    if (i == a.size() || j == b.size()) break;
    const uint8_t x = weight_[static_cast<unsigned char>(a[i])], y = weight_[static_cast<unsigned char>(b[j])];
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i != a.size() || j != b.size()) return i == a.size() ? -1 : 1;
  const size_t na = PassedOverCount(a), nb = PassedOverCount(b);
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

void TextCollator::AppendSortKey(std::string_view text, std::string& out) const {
  out += IcuSortKey(collator_, ToUtf16WithoutPassedOver(text));
  // ICU's key holds no zero byte: the separator makes a shorter key sort
  // first, then the number of passed-over characters breaks the tie.
  out.push_back('\0');
  const size_t count = std::min<size_t>(PassedOverCount(text), 0xFFFF);
  out.push_back(static_cast<char>(count >> 8));
  out.push_back(static_cast<char>(count & 0xFF));
}

int TextCollator::Compare(std::string_view a, std::string_view b) const {
  uint64_t pa = 0, pb = 0;
  if (SimplePrefix(a, pa) && SimplePrefix(b, pb)) {
    if (pa != pb) return pa < pb ? -1 : 1;
    return CompareSimple(a, b);
  }
  std::string ka, kb;
  AppendSortKey(a, ka);
  AppendSortKey(b, kb);
  const int c = ka.compare(kb);
  return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

}  // namespace host
