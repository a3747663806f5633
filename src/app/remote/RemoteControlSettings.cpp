#include "app/remote/RemoteControlSettings.h"

#include <QSettings>

namespace prismeta {

namespace {

const QString enabledKey = QStringLiteral("osc/enabled");
const QString portKey = QStringLiteral("osc/port");
const QString allInterfacesKey = QStringLiteral("osc/allInterfaces");

} // namespace

RemoteControlPreferences readRemoteControlPreferences(const QSettings& settings) {
    RemoteControlPreferences prefs;
    prefs.enabled = settings.value(enabledKey, false).toBool();
    bool ok = false;
    const int port = settings.value(portKey, prefs.port).toInt(&ok);
    if (ok && port >= 1 && port <= 65535) {
        prefs.port = static_cast<std::uint16_t>(port);
    }
    prefs.allInterfaces = settings.value(allInterfacesKey, false).toBool();
    return prefs;
}

void writeRemoteControlPreferences(QSettings& settings, const RemoteControlPreferences& prefs) {
    settings.setValue(enabledKey, prefs.enabled);
    settings.setValue(portKey, prefs.port);
    settings.setValue(allInterfacesKey, prefs.allInterfaces);
    settings.sync();
}

std::unique_ptr<QSettings> applicationSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Prismeta"), QStringLiteral("Prismeta"));
}

std::optional<std::uint16_t> parseOscPort(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok, 10);
    if (!ok || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

} // namespace prismeta
