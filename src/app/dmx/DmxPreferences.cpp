#include "app/dmx/DmxPreferences.h"

#include <QSettings>

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>

namespace prismeta {

namespace {

const QString enabledKey = QStringLiteral("dmx/enabled");
const QString allInterfacesKey = QStringLiteral("dmx/allInterfaces");
const QString artNetKey = QStringLiteral("dmx/artNet");
const QString sacnKey = QStringLiteral("dmx/sacn");
const QString chaseKey = QStringLiteral("timecode/chase");
const QString sourceKey = QStringLiteral("timecode/source");
const QString ltcInputKey = QStringLiteral("timecode/ltcInput");
const QString freewheelKey = QStringLiteral("timecode/freewheelFrames");

} // namespace

DmxReceiverConfig DmxPreferences::receiverConfig() const {
    DmxReceiverConfig config;
    config.address = allInterfaces ? "0.0.0.0" : "127.0.0.1";
    config.artNet = artNet;
    config.sacn = sacn;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0) {
        config.machineName = name;
    }
    return config;
}

DmxPreferences readDmxPreferences(const QSettings& settings) {
    DmxPreferences prefs;
    prefs.enabled = settings.value(enabledKey, false).toBool();
    prefs.allInterfaces = settings.value(allInterfacesKey, false).toBool();
    prefs.artNet = settings.value(artNetKey, true).toBool();
    prefs.sacn = settings.value(sacnKey, true).toBool();
    return prefs;
}

void writeDmxPreferences(QSettings& settings, const DmxPreferences& prefs) {
    settings.setValue(enabledKey, prefs.enabled);
    settings.setValue(allInterfacesKey, prefs.allInterfaces);
    settings.setValue(artNetKey, prefs.artNet);
    settings.setValue(sacnKey, prefs.sacn);
    settings.sync();
}

TimecodePreferences readTimecodePreferences(const QSettings& settings) {
    TimecodePreferences prefs;
    prefs.chase = settings.value(chaseKey, false).toBool();
    prefs.source =
        parseTimecodeSource(settings.value(sourceKey).toString()).value_or(TimecodeSource::artNet);
    const QString input = settings.value(ltcInputKey).toString().trimmed();
    if (!input.isEmpty()) {
        prefs.ltcInput = input.toStdString();
    }
    bool ok = false;
    const int frames = settings.value(freewheelKey, prefs.freewheelFrames).toInt(&ok);
    if (ok) {
        prefs.freewheelFrames = std::clamp(frames, 0, 300);
    }
    return prefs;
}

void writeTimecodePreferences(QSettings& settings, const TimecodePreferences& prefs) {
    settings.setValue(chaseKey, prefs.chase);
    settings.setValue(sourceKey, prefs.source == TimecodeSource::ltc ? QStringLiteral("ltc")
                                                                     : QStringLiteral("artnet"));
    settings.setValue(ltcInputKey, QString::fromStdString(prefs.ltcInput));
    settings.setValue(freewheelKey, prefs.freewheelFrames);
    settings.sync();
}

std::optional<TimecodeSource> parseTimecodeSource(const QString& text) {
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("artnet")) {
        return TimecodeSource::artNet;
    }
    if (name == QLatin1String("ltc")) {
        return TimecodeSource::ltc;
    }
    return std::nullopt;
}

bool isIpv4Address(const std::string& text) {
    in_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::optional<std::uint16_t> parseUdpPort(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok, 10);
    if (!ok || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

} // namespace prismeta
