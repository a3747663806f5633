#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace prismeta {

// Watches the MPEG-TS bytes of a live stream for the end of a picture that
// the demuxer cannot see by itself.
//
// Most senders (FFmpeg's muxer by default among them) leave a video PES
// packet's length out, so a demuxer learns that a picture is whole only from
// the first packet of the next one, a frame later. A picture's last TS packet
// is almost always padded, though (a PES rarely fills its last packet
// exactly), with stuffing in the adaptation field, while the packets in the
// middle carry a full payload. So when the input goes quiet right after a
// padded packet of every PES without a length that is open, the pictures in
// the demuxer are whole and can be let out at once. When the padding is
// missing (a PES that happened to fill its last packet exactly, about one in
// 184), only a longer silence tells (TsPacketInput).
//
// Fed with the bytes as they arrive, in chunks of any size; keeps its place
// across chunks. Bytes that are not TS (no sync byte where one belongs) make
// it look for the sync byte again and report nothing until it has it.
class TsPictureEnds {
public:
    static constexpr std::size_t packetSize = 188;

    void feed(std::span<const std::uint8_t> bytes);

    // True when at least one PES without a length is open and every such
    // PES's latest packet was padded: a pause now means its picture is whole.
    bool pictureMayBeWhole() const;

    // True when a PES without a length is open: a picture may be waiting in
    // the demuxer for the next one's first packet.
    bool pictureOpen() const;

private:
    struct Pes {
        std::uint16_t pid = 0;
        bool open = false;   // a PES without a length has started
        bool padded = false; // and its latest payload was padded
    };
    static constexpr std::size_t maxTracked = 8;

    void packet(const std::uint8_t* data);
    Pes* track(std::uint16_t pid, bool create);

    std::array<std::uint8_t, packetSize> partial_{};
    std::size_t partialSize_ = 0;
    bool synced_ = false;
    std::array<Pes, maxTracked> pes_{};
    std::size_t tracked_ = 0;
};

} // namespace prismeta
