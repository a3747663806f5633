#include "app/cues/ShowPreferences.h"

#include "cues/Blackout.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {
const QString blackoutFadeKey = QStringLiteral("show/blackoutFade");
} // namespace

double readBlackoutFade(const QSettings& settings) {
    bool ok = false;
    const double seconds = settings.value(blackoutFadeKey, defaultBlackoutFade).toDouble(&ok);
    if (!ok || !std::isfinite(seconds)) {
        return defaultBlackoutFade;
    }
    return std::clamp(seconds, 0.0, maxBlackoutFade);
}

void writeBlackoutFade(QSettings& settings, double seconds) {
    settings.setValue(blackoutFadeKey, seconds);
    settings.sync();
}

} // namespace prismeta
