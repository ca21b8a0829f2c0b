#include "filelist/Wildcard.h"

namespace tabulory {

namespace {

bool IsAllPattern(const QString& folded) {
  if (folded.isEmpty()) return false;
  // "*", "*.*", "**" and the like: only stars and at most one dot after a star.
  bool sawDot = false;
  for (QChar c : folded) {
    if (c == u'*') continue;
    if (c == u'.' && !sawDot) { sawDot = true; continue; }
    return false;
  }
  return folded.startsWith(u'*') && (!sawDot || folded.endsWith(u'*'));
}

// One character of a name against one of the folded pattern.
inline bool SameFolded(QChar folded, QChar c) {
  return folded == c || folded == c.toCaseFolded();
}

// Greedy match with one backtrack point for the last star; the name is folded
// a character at a time.
bool MatchFolded(QStringView pattern, QStringView name) {
  qsizetype p = 0, n = 0, starP = -1, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || SameFolded(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

WildcardPattern::WildcardPattern(const QString& pattern)
    : folded_(pattern.toCaseFolded()), all_(IsAllPattern(folded_)) {}

bool WildcardPattern::Matches(const QString& name) const {
  if (all_) return true;
  // Names with characters outside the basic plane are folded whole, so that
  // pairs of code units fold together.
  for (QChar c : name)
    if (c.isSurrogate()) return MatchFolded(folded_, name.toCaseFolded());
  return MatchFolded(folded_, name);
}

bool WildcardMatch(const QString& pattern, const QString& name) {
  return WildcardPattern(pattern).Matches(name);
}

}  // namespace tabulory
