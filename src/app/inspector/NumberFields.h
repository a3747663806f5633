#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace prismeta {

// The text of the inspector's number fields in the user's locale: canvas
// coordinates with exactly three fraction digits ("0.250"), and edge-blend
// widths as whole percentages ("20%", stored as 0.2).
//
// Parsing accepts what the formatting shows (and a percentage without its
// sign), with surrounding spaces. Group separators are refused: where the
// decimal mark is a comma, "0.250" would otherwise read as 250. Text that is
// not a finite number, or lies beyond the 32-bit float range ("nan", "inf",
// "1e39"), gives nothing, so the field keeps its value: a stored infinity
// would make every later save of the project fail.
//
// Pure functions; any thread.

QString formatCoordinate(float value, const QLocale& locale);
std::optional<float> parseCoordinate(const QString& text, const QLocale& locale);

// The fraction times 100, rounded to a whole number (ties to even), then the
// percent sign.
QString formatPercent(float fraction, const QLocale& locale);
// The entry divided by 100, as parsed: no clamping.
std::optional<float> parsePercent(const QString& text, const QLocale& locale);

// The double as a float when it is finite and rounds to a finite float.
std::optional<float> narrowToFloat(double value);

} // namespace prismeta
