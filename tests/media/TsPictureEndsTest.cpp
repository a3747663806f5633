#include "media/TsPictureEnds.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace prismeta {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One TS packet of pid: a PES header (with or without a length) when start
// is set, then payload bytes; padded with adaptation-field stuffing when
// payload is shorter than what is left.
Bytes tsPacket(std::uint16_t pid, bool start, std::size_t payload, bool withLength = false) {
    Bytes packet(TsPictureEnds::packetSize, 0xff);
    packet[0] = 0x47;
    packet[1] = static_cast<std::uint8_t>((start ? 0x40 : 0) | (pid >> 8));
    packet[2] = static_cast<std::uint8_t>(pid & 0xff);
    const std::size_t header = start ? 9 : 0;
    const std::size_t room = 184;
    std::size_t at = 4;
    if (header + payload < room) {
        packet[3] = 0x30;
        const std::size_t stuffing = room - header - payload;
        packet[4] = static_cast<std::uint8_t>(stuffing - 1);
        if (stuffing > 1) {
            packet[5] = 0x00; // no flags; the rest is stuffing
        }
        at += stuffing;
    } else {
        packet[3] = 0x10;
    }
    if (start) {
        const Bytes pes = {0,    0, 1, 0xe0, 0, static_cast<std::uint8_t>(withLength ? 200 : 0),
                           0x80, 0, 0};
        std::copy(pes.begin(), pes.end(), packet.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return packet;
}

void append(Bytes& to, const Bytes& packet) {
    to.insert(to.end(), packet.begin(), packet.end());
}

TEST(TsPictureEnds, APaddedLastPacketEndsAPictureWithoutALengthInAnyChunking) {
    Bytes stream;
    append(stream, tsPacket(0x100, true, 175)); // full first packet
    append(stream, tsPacket(0x100, false, 184));
    const std::size_t middle = stream.size();
    append(stream, tsPacket(0x100, false, 60)); // padded: the last

    for (const std::size_t chunk :
         {std::size_t{1}, std::size_t{100}, std::size_t{188}, stream.size()}) {
        TsPictureEnds ends;
        bool wholeBeforeLast = false;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t end = std::min(stream.size(), at + chunk);
            ends.feed(std::span<const std::uint8_t>(stream.data() + at, end - at));
            wholeBeforeLast |= end <= middle + 187 && ends.pictureMayBeWhole();
        }
        EXPECT_FALSE(wholeBeforeLast) << "chunks of " << chunk;
        EXPECT_TRUE(ends.pictureMayBeWhole()) << "chunks of " << chunk;
    }

    // The next picture's first packet opens it again.
    TsPictureEnds ends;
    ends.feed(stream);
    ends.feed(tsPacket(0x100, true, 175));
    EXPECT_FALSE(ends.pictureMayBeWhole());
}

TEST(TsPictureEnds, NothingIsCalledWholeThatCouldStillGrowOrIsNotKnown) {
    // A PES with its length: the demuxer knows its end itself.
    TsPictureEnds withLength;
    withLength.feed(tsPacket(0x100, true, 20, true));
    EXPECT_FALSE(withLength.pictureMayBeWhole());
    EXPECT_FALSE(withLength.pictureOpen());

    // A single-packet PES without a length, padded: whole.
    TsPictureEnds single;
    single.feed(tsPacket(0x100, true, 20));
    EXPECT_TRUE(single.pictureMayBeWhole());

    // Two open PESs: whole only when both ended padded.
    TsPictureEnds two;
    two.feed(tsPacket(0x100, true, 20));
    two.feed(tsPacket(0x101, true, 175));
    EXPECT_FALSE(two.pictureMayBeWhole());
    EXPECT_TRUE(two.pictureOpen()); // only a silence can tell
    two.feed(tsPacket(0x101, false, 10));
    EXPECT_TRUE(two.pictureMayBeWhole());

    // Bytes off the packet grid forget what was open.
    TsPictureEnds lost;
    lost.feed(tsPacket(0x100, true, 20));
    lost.feed(Bytes{0x00, 0x12});
    lost.feed(tsPacket(0x100, false, 10));
    EXPECT_FALSE(lost.pictureMayBeWhole());

    // Not TS at all, and a malformed adaptation field.
    TsPictureEnds garbage;
    garbage.feed(Bytes(1000, 0x00));
    Bytes bad = tsPacket(0x100, true, 20);
    bad[4] = 0xff;
    garbage.feed(bad);
    EXPECT_FALSE(garbage.pictureMayBeWhole());
}

} // namespace
} // namespace prismeta
