#pragma once

#include "control/OscServer.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

namespace prismeta {

// The remote-control preferences, kept in the application's settings: off
// unless enabled; port 7700 unless changed (9000, the usual default, is taken
// by many other tools); the loopback address unless every network interface
// is asked for.
struct RemoteControlPreferences {
    bool enabled = false;
    std::uint16_t port = OscServerConfig::defaultPort;
    bool allInterfaces = false;

    OscServerConfig serverConfig() const { return {port, allInterfaces}; }
    friend bool operator==(const RemoteControlPreferences&,
                           const RemoteControlPreferences&) = default;
};

// Unreadable values read as the defaults.
RemoteControlPreferences readRemoteControlPreferences(const QSettings& settings);
void writeRemoteControlPreferences(QSettings& settings, const RemoteControlPreferences& prefs);

// The application's settings (the platform's usual place for them).
std::unique_ptr<QSettings> applicationSettings();

// The value of --osc-port: a whole number from 0 (any free port) to 65535.
std::optional<std::uint16_t> parseOscPort(const QString& text);

} // namespace prismeta
