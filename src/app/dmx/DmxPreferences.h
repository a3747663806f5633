#pragma once

#include "dmx/DmxReceiver.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QSettings;

namespace prismeta {

// DMX input as the preferences keep it: off unless enabled; this computer
// only (the loopback address) unless every network interface is chosen;
// Art-Net and sACN both.
struct DmxPreferences {
    bool enabled = false;
    bool allInterfaces = false;
    bool artNet = true;
    bool sacn = true;

    DmxReceiverConfig receiverConfig() const;
    friend bool operator==(const DmxPreferences&, const DmxPreferences&) = default;
};

// Where chased timecode comes from.
enum class TimecodeSource { artNet, ltc };

// Timecode chase: off unless enabled; from Art-Net unless LTC is chosen
// (from an audio input: an ALSA device name, or a WAV file or named pipe);
// freewheeling 10 frames when codes stop.
struct TimecodePreferences {
    bool chase = false;
    TimecodeSource source = TimecodeSource::artNet;
    std::string ltcInput = "default";
    int freewheelFrames = 10;

    friend bool operator==(const TimecodePreferences&, const TimecodePreferences&) = default;
};

// Unreadable values read as the defaults.
DmxPreferences readDmxPreferences(const QSettings& settings);
void writeDmxPreferences(QSettings& settings, const DmxPreferences& prefs);
TimecodePreferences readTimecodePreferences(const QSettings& settings);
void writeTimecodePreferences(QSettings& settings, const TimecodePreferences& prefs);

// "artnet" or "ltc" (the command line's --timecode).
std::optional<TimecodeSource> parseTimecodeSource(const QString& text);
// Dotted IPv4 (--dmx); whether it is this computer's is seen when listening.
bool isIpv4Address(const std::string& text);
// A UDP port number for --artnet-port and --sacn-port, 0 (any) to 65535.
std::optional<std::uint16_t> parseUdpPort(const QString& text);

} // namespace prismeta
