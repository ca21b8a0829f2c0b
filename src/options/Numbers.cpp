#include "options/Numbers.h"

#include <QRegularExpression>
#include <cmath>

namespace tabulory {

std::optional<double> ParseNumber(const QString& text) {
  static const QRegularExpression kNumber(
      QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
  if (!kNumber.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

double RoundHalfEven(double value) {
  const double lower = std::floor(value);
  const double fraction = value - lower;
  if (fraction < 0.5) return lower;
  if (fraction > 0.5) return lower + 1;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

}  // namespace tabulory
