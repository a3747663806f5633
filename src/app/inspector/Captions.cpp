#include "app/inspector/Captions.h"

#include <QObject>

#include <cmath>
#include <cstdint>

namespace prismeta {

QString truncatedPercentText(double scaled) {
    const double whole = std::trunc(scaled);
    if (whole == 0.0) {
        return QStringLiteral("0");
    }
    if (std::fabs(whole) < 1e15) {
        return QString::number(static_cast<std::int64_t>(whole));
    }
    // Huge or not finite (only from a hand-made file): shown, never converted.
    return QString::number(whole, 'f', 0);
}

QString opacityCaption(double opacity) {
    const double scaled = opacity * 100.0;
    return QObject::tr("Opacity") + QStringLiteral("  ") + truncatedPercentText(scaled) +
           QStringLiteral("%");
}

QString featherCaption(float feather) {
    const float scaled = feather * 100.0f; // single precision, as stored
    return QObject::tr("Edge Feather") + QStringLiteral("  ") +
           truncatedPercentText(static_cast<double>(std::trunc(scaled))) + QStringLiteral("%");
}

} // namespace prismeta
