#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace prismeta {

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float, as the inspector's number fields read.
inline constexpr double oscFloatOverflow = 3.4028235677973366e38;

// A 0-based index written in an address ("/mask/3"): digits only, at most
// nine of them.
std::optional<std::size_t> addressIndex(std::string_view text);

// One argument of an OSC message: its type tag and its value. Integers ('i',
// 'h') are held as 64-bit integers, reals ('f', 'd') as doubles (a float
// converts exactly), text ('s', 'S') as a string; 'T', 'F', 'N' and 'I' carry
// nothing but their tag, and every other type (blobs, MIDI, time tags,
// characters) is kept as its tag alone, which no address accepts.
struct OscArgument {
    char tag = 'N';
    std::variant<std::monostate, std::int64_t, double, std::string> value;

    static OscArgument int32(std::int32_t v) { return {'i', std::int64_t{v}}; }
    static OscArgument float32(float v) { return {'f', static_cast<double>(v)}; }
    static OscArgument text(std::string v) { return {'s', std::move(v)}; }

    bool isNumber() const;
    // The value of 'i', 'h', 'f' or 'd'; nothing for any other tag.
    std::optional<double> number() const;
    // The value of 's' or 'S'.
    const std::string* string() const;

    friend bool operator==(const OscArgument&, const OscArgument&) = default;
};

using OscArguments = std::vector<OscArgument>;

// The type tags of the arguments, in order ("ff").
std::string typeTags(const OscArguments& arguments);

// Where a message came from, and where answers to it go: a numeric IPv4 or
// IPv6 host and a UDP port.
struct OscEndpoint {
    std::string host;
    std::uint16_t port = 0;

    std::string text() const; // "127.0.0.1:53012"
    friend bool operator==(const OscEndpoint&, const OscEndpoint&) = default;
    friend auto operator<=>(const OscEndpoint&, const OscEndpoint&) = default;
};

// One message as received: a plain value, made on the receiving thread and
// handed to the interface thread through the inbox.
struct OscMessage {
    using Clock = std::chrono::steady_clock;

    std::string address;
    OscArguments arguments;
    std::optional<OscEndpoint> sender; // absent when the source is unknown
    Clock::time_point received{};
    // For a message whose only argument is a text: whether that text named an
    // existing regular file when it arrived. Checked on the receiving thread so
    // that a slow file system never holds up the interface.
    bool textNamesRegularFile = false;
    // Likewise: whether it named a video capture device (V4L2), which a live
    // surface may show.
    bool textNamesCaptureDevice = false;
    // When a bundle's time tag says it is due, in microseconds of the show
    // clock (the real-time clock); absent for "at once" and plain messages.
    std::optional<std::int64_t> dueMicros;

    // '?' as the only argument: asks for the current value.
    bool isQuery() const;
    // A message that sets a value (it has arguments and is not a query or a
    // subscription); a newer one of the same address and type tags makes an
    // older one redundant.
    bool isEdit() const;
};

// A message to send: the destination, the address and the arguments.
struct OscOutgoing {
    OscEndpoint to;
    std::string address;
    OscArguments arguments;

    friend bool operator==(const OscOutgoing&, const OscOutgoing&) = default;
};

} // namespace prismeta
