// The sort's text order: the language's order without regard to case,
// accents second, hyphens and apostrophes passed over, symbols before digits
// before letters; the fast table and ICU's sort keys always agree.

#include "host/core/TextCollator.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unicode/ucol.h>
#include <unicode/uset.h>

#include <algorithm>
#include <optional>
#include <random>
#include <thread>

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Languages whose rules touch ASCII letters in every way ICU knows, and some
// that leave them alone.
const char* const kLocales[] = {"",      "en_US", "de_DE", "fr_FR", "sv_SE", "da_DK", "cs_CZ", "sk_SK", "hr_HR",
                                "tr_TR", "lt_LT", "es_ES", "hu_HU", "pl_PL", "et_EE", "ja_JP", "zh_CN", "th_TH",
                                "ar",    "es@collation=traditional", "de@collation=phonebook"};

std::vector<std::string> Sorted(const host::TextCollator& collator, std::vector<std::string> texts) {
  std::stable_sort(texts.begin(), texts.end(),
                   [&](const std::string& a, const std::string& b) { return collator.Compare(a, b) < 0; });
  return texts;
}

TEST(TextCollator, OrdersAsTheReferenceProgram) {
  const host::TextCollator root("");
  struct Case {
    std::vector<std::string> input, expected;
  };
  const std::vector<Case> cases = {
      // accents are a secondary difference: with their letters, before the next one
      {{"f", "éclair", "eclair", "ecluse"}, {"eclair", "éclair", "ecluse", "f"}},
      // hyphen and apostrophe passed over; without them first
      {{"co-op", "coop", "cob"}, {"cob", "coop", "co-op"}},
      {{"can't", "cant", "cane", "canu"}, {"cane", "cant", "can't", "canu"}},
      // punctuation and symbols, then digits, then letters
      {{"b", "1", "a", "#", "9", "!", "(x)", "+"}, {"!", "(x)", "#", "+", "1", "9", "a", "b"}},
      {{"ω", "z", "я", "α", "а"}, {"z", "α", "ω", "а", "я"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Sorted(root, c.input), c.expected);
}

TEST(TextCollator, CaseMakesNoDifferenceInAnyScript) {
  const host::TextCollator root("");
  const std::pair<const char*, const char*> same[] = {
      {"Ä", "ä"}, {"APPLE", "apple"}, {"ΑΒΓ", "αβγ"}, {"ЖУК", "жук"}, {"ÉCLAIR", "éclair"}, {"ǅ", "ǆ"},
      {"e\xCC\x81", "\xC3\xA9"},  // decomposed and composed é
  };
  for (const auto& [a, b] : same) EXPECT_EQ(root.Compare(a, b), 0) << a << " / " << b;
  EXPECT_LT(root.Compare("eclair", "Éclair"), 0);
  EXPECT_LT(root.Compare("Éclair", "f"), 0);
}

TEST(TextCollator, FollowsTheLocale) {
  const host::TextCollator root(""), swedish("sv_SE.UTF-8"), german("de_DE");
  EXPECT_LT(root.Compare("ö", "z"), 0);
  EXPECT_GT(swedish.Compare("ö", "z"), 0);
  EXPECT_LT(german.Compare("ö", "z"), 0);
  EXPECT_EQ(swedish.Locale(), "sv_SE");
  EXPECT_EQ(host::TextCollator("no such locale at all").Compare("b", "A"), 1);
}

TEST(TextCollator, LocaleNamesFromTheEnvironment) {
  const std::pair<const char*, const char*> cases[] = {
      {"de_DE.UTF-8", "de_DE"}, {"C", ""}, {"POSIX", ""}, {"C.UTF-8", ""}, {"sv_SE", "sv_SE"},
      {"en_IE.ISO-8859-15@euro", "en_IE"}, {"de@collation=phonebook", "de@collation=phonebook"}, {"", ""},
  };
  for (const auto& [posix, icu] : cases) EXPECT_EQ(host::CollationLocaleOf(posix), icu) << posix;

  // LC_ALL before LC_COLLATE before LANG; root when none is set.
  struct Env {
    const char *all, *collate, *lang, *expected;
  };
  const Env envs[] = {
      {nullptr, nullptr, nullptr, ""},
      {nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
      {nullptr, "sv_SE.UTF-8", "de_DE.UTF-8", "sv_SE"},
      {"C", "sv_SE.UTF-8", "de_DE.UTF-8", ""},
  };
  auto set = [](const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); };
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"})
    saved.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
  for (const Env& env : envs) {
    set("LC_ALL", env.all);
    set("LC_COLLATE", env.collate);
    set("LANG", env.lang);
    std::string seen;
    // Made once per thread: a fresh thread reads the environment anew.
    std::thread([&] { seen = host::TextCollator::ForUserLocale().Locale(); }).join();
    EXPECT_EQ(seen, env.expected);
  }
  for (const auto& [name, value] : saved) set(name, value ? value->c_str() : nullptr);
}

// Random ASCII texts, and near copies of them that differ in case, in a
// hyphen or apostrophe, or in one character, as real columns do.
std::vector<std::string> AsciiTexts(std::mt19937& random, size_t count) {
  static const std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -'_.,;:!?\"()[]{}@*/\\&#%`^+<=>|~$\t\x01\x7f";
  std::uniform_int_distribution<size_t> length(0, 9), pick(0, alphabet.size() - 1), coin(0, 3);
  std::vector<std::string> texts;
  while (texts.size() < count) {
    std::string text;
    for (size_t n = length(random); n > 0; --n) text += alphabet[pick(random)];
    texts.push_back(text);
    std::string near = text;
    switch (coin(random)) {
      case 0: for (char& c : near) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c))); break;
      case 1: near.insert(near.size() / 2, 1, coin(random) < 2 ? '-' : '\''); break;
      case 2: if (!near.empty()) near.back() = alphabet[pick(random)]; break;
      default: near += alphabet[pick(random)]; break;
    }
    texts.push_back(near);
  }
  return texts;
}

TEST(TextCollator, TheFastTableAgreesWithIcuSortKeys) {
  std::mt19937 random(20261208);
  const std::vector<std::string> texts = AsciiTexts(random, 1200);
  for (const char* locale : kLocales) {
    const host::TextCollator collator(locale);
    std::vector<std::string> keys(texts.size());
    std::vector<uint64_t> prefixes(texts.size());
    std::vector<bool> simple(texts.size());
    size_t simpleCount = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
      collator.AppendSortKey(texts[i], keys[i]);
      simple[i] = collator.SimplePrefix(texts[i], prefixes[i]);
      simpleCount += simple[i];
    }
    for (size_t i = 0; i < texts.size(); ++i) {
      for (size_t j = (i & ~size_t(1)); j < texts.size(); j += (j < i + 2 ? 1 : 97)) {
        if (!simple[i] || !simple[j]) continue;
        const int byKeys = Sign(keys[i].compare(keys[j]));
        const int byTable = prefixes[i] != prefixes[j] ? (prefixes[i] < prefixes[j] ? -1 : 1)
                                                       : Sign(collator.CompareSimple(texts[i], texts[j]));
        ASSERT_EQ(byTable, byKeys) << "locale \"" << locale << "\": [" << texts[i] << "] vs [" << texts[j] << "]";
      }
    }
    // Languages that order ASCII letters one by one take the fast way.
    const std::string name = locale;
    if (name.empty() || name == "en_US" || name == "de_DE") {
      EXPECT_EQ(simpleCount, texts.size()) << locale;
    }
  }
}

// The table finds contractions among a language's own rules and expansions
// by their elements; ICU's full lists of both must find nothing more.
TEST(TextCollator, ContractionsAndExpansionsOfAsciiAreNeverSimple) {
  for (const char* locale : kLocales) {
    const host::TextCollator collator(locale);
    UErrorCode status = U_ZERO_ERROR;
    UCollator* icu = ucol_open(collator.Locale().c_str(), &status);
    USet* contractions = uset_openEmpty();
    USet* expansions = uset_openEmpty();
    ucol_getContractionsAndExpansions(icu, contractions, expansions, true, &status);
    ASSERT_TRUE(U_SUCCESS(status)) << locale;
    for (USet* set : {contractions, expansions}) {
      for (int32_t i = 0; i < uset_getItemCount(set); ++i) {
        UChar32 start = 0, end = 0;
        UChar buffer[64];
        status = U_ZERO_ERROR;
        const int32_t length = uset_getItem(set, i, &start, &end, buffer, 64, &status);
        std::string text;
        if (length == 0 && start < 128) text.assign(1, static_cast<char>(start));
        for (int32_t k = 0; k < length && length < 64; ++k)
          text += buffer[k] < 128 ? static_cast<char>(buffer[k]) : '\0';
        if (text.empty() || text.find('\0') != std::string::npos) continue;
        uint64_t prefix = 0;
        EXPECT_FALSE(collator.SimplePrefix(text, prefix)) << "locale \"" << locale << "\": [" << text << "]";
      }
    }
    uset_close(contractions);
    uset_close(expansions);
    ucol_close(icu);
  }
}

TEST(TextCollator, TextsBeyondAsciiTakeTheSortKeys) {
  const host::TextCollator root("");
  uint64_t prefix = 0;
  EXPECT_TRUE(root.SimplePrefix("Plain text, 42!", prefix));
  EXPECT_FALSE(root.SimplePrefix("café", prefix));
  // Czech orders "ch" after "h": a pair of ASCII letters that is one letter.
  const host::TextCollator czech("cs_CZ");
  EXPECT_FALSE(czech.SimplePrefix("chata", prefix));
  EXPECT_GT(czech.Compare("chata", "hrad"), 0);
  EXPECT_LT(root.Compare("chata", "hrad"), 0);
}

}  // namespace
