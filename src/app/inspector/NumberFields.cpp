#include "app/inspector/NumberFields.h"

#include <cfloat>
#include <cmath>

namespace prismeta {

namespace {

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float. The largest float's own shortest text
// reads as a double just above FLT_MAX, and must still be accepted.
constexpr double floatOverflowThreshold = 3.4028235677973366e38;

QLocale withoutGrouping(const QLocale& locale) {
    QLocale copy = locale;
    copy.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator |
                          QLocale::RejectGroupSeparator);
    return copy;
}

bool isIgnorableInNumber(QChar c) {
    // Spaces (a percent sign is often set off by a no-break space) and the
    // direction marks some locales put around their signs.
    return c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x200E) ||
           c == QChar(0x200F) || c == QChar(0x061C);
}

std::optional<double> parseNumber(const QString& text, const QLocale& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = withoutGrouping(locale).toDouble(trimmed, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<float> narrowToFloat(double value) {
    if (!(std::fabs(value) < floatOverflowThreshold)) {
        return std::nullopt; // NaN fails the comparison too
    }
    if (std::fabs(value) > static_cast<double>(FLT_MAX)) {
        return value > 0 ? FLT_MAX : -FLT_MAX;
    }
    return static_cast<float>(value);
}

QString formatCoordinate(float value, const QLocale& locale) {
    return withoutGrouping(locale).toString(static_cast<double>(value), 'f', 3);
}

std::optional<float> parseCoordinate(const QString& text, const QLocale& locale) {
    const std::optional<double> value = parseNumber(text, locale);
    if (!value) {
        return std::nullopt;
    }
    return narrowToFloat(*value);
}

QString formatPercent(float fraction, const QLocale& locale) {
    double percent = std::nearbyint(static_cast<double>(fraction) * 100.0);
    if (percent == 0.0) {
        percent = 0.0; // no "-0%"
    }
    return withoutGrouping(locale).toString(percent, 'f', 0) + locale.percent();
}

std::optional<float> parsePercent(const QString& text, const QLocale& locale) {
    QString number;
    number.reserve(text.size());
    const QString sign = locale.percent();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!sign.isEmpty() && QStringView(text).sliced(i).startsWith(sign)) {
            i += sign.size() - 1;
            continue;
        }
        const QChar c = text[i];
        if (c == QLatin1Char('%') || c == QChar(0x066A) || isIgnorableInNumber(c)) {
            continue;
        }
        number.append(c);
    }
    const std::optional<double> value = parseNumber(number, locale);
    // The entry itself must be a float's worth too: "1e39" is refused even
    // though a hundredth of it would fit.
    if (!value || !narrowToFloat(*value)) {
        return std::nullopt;
    }
    return narrowToFloat(*value / 100.0);
}

} // namespace prismeta
