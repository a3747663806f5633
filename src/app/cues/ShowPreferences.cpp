#include "app/cues/ShowPreferences.h"

#include "cues/Blackout.h"
#include "media/LiveSources.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {
const QString blackoutFadeKey = QStringLiteral("show/blackoutFade");
const QString liveHoldKey = QStringLiteral("show/liveHold");

double readSeconds(const QSettings& settings, const QString& key, double fallback, double maximum) {
    bool ok = false;
    const double seconds = settings.value(key, fallback).toDouble(&ok);
    if (!ok || !std::isfinite(seconds)) {
        return fallback;
    }
    return std::clamp(seconds, 0.0, maximum);
}
} // namespace

double readBlackoutFade(const QSettings& settings) {
    return readSeconds(settings, blackoutFadeKey, defaultBlackoutFade, maxBlackoutFade);
}

void writeBlackoutFade(QSettings& settings, double seconds) {
    settings.setValue(blackoutFadeKey, seconds);
    settings.sync();
}

double readLiveHoldSeconds(const QSettings& settings) {
    return readSeconds(settings, liveHoldKey, LiveSources::defaultHoldSeconds,
                       LiveSources::maxHoldSeconds);
}

void writeLiveHoldSeconds(QSettings& settings, double seconds) {
    settings.setValue(liveHoldKey, seconds);
    settings.sync();
}

} // namespace prismeta
