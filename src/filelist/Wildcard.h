#pragma once
// File-name wildcard patterns as the folder scan uses them.

#include <QString>

namespace tabulory {

// True when the whole name matches the pattern: case-insensitive, "*" any run
// of characters (also none), "?" exactly one character, and "*.*" every name,
// also one without a dot.
bool WildcardMatch(const QString& pattern, const QString& name);

// A pattern prepared once for many names.
class WildcardPattern {
 public:
  explicit WildcardPattern(const QString& pattern);
  bool Matches(const QString& name) const;
  bool MatchesEverything() const { return all_; }

 private:
  QString folded_;
  bool all_ = false;
};

}  // namespace tabulory
