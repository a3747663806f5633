// Art-Net and sACN packets: what the parsers take from well-formed packets
// (made byte by byte where the layout matters), and every way a packet can
// be wrong, each a dropped packet with its reason rather than a read past
// the bytes.
#include "dmx/ArtNetPacket.h"
#include "dmx/SacnPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <variant>
#include <vector>

namespace prismeta {
namespace {

std::vector<std::uint8_t> ramp(std::size_t count) {
    std::vector<std::uint8_t> levels(count);
    std::iota(levels.begin(), levels.end(), std::uint8_t{1});
    return levels;
}

TEST(ArtNetPacket, DmxCarriesItsFifteenBitPortAddressSequenceAndLevels) {
    const std::vector<std::uint8_t> levels = ramp(512);
    const std::vector<std::uint8_t> packet = artDmxPacket(0x7abc & 0x7fff, 9, levels);
    ASSERT_EQ(packet.size(), 18u + 512u);
    EXPECT_EQ(packet[8], 0x00); // OpCode low byte first
    EXPECT_EQ(packet[9], 0x50);
    EXPECT_EQ(packet[14], 0xbc); // SubUni, then Net
    EXPECT_EQ(packet[15], 0x7a);
    const ArtNetPacket parsed = parseArtNet(packet);
    const auto* dmx = std::get_if<ArtNetDmx>(&parsed);
    ASSERT_NE(dmx, nullptr);
    EXPECT_EQ(dmx->portAddress, 0x7abc);
    EXPECT_EQ(dmx->sequence, 9);
    EXPECT_TRUE(std::equal(dmx->levels.begin(), dmx->levels.end(), levels.begin(), levels.end()));
}

TEST(ArtNetPacket, PollSyncAndTimeCodeAreReadAndOthersPassUnused) {
    EXPECT_TRUE(std::holds_alternative<ArtNetPoll>(parseArtNet(artPollPacket())));
    EXPECT_TRUE(std::holds_alternative<ArtNetSync>(parseArtNet(artSyncPacket())));
    const std::vector<std::uint8_t> sent =
        artTimeCodePacket(Timecode{10, 20, 30, 28}, TimecodeRate::dropFrame2997);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 14, sent.end()),
              (std::vector<std::uint8_t>{28, 30, 20, 10, 2}));
    const ArtNetPacket code = parseArtNet(sent);
    const auto* time = std::get_if<ArtNetTimeCode>(&code);
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->timecode, (Timecode{10, 20, 30, 28}));
    EXPECT_EQ(time->rate, TimecodeRate::dropFrame2997);
    // Another node's reply to a controller, and an opcode not read here.
    EXPECT_TRUE(std::holds_alternative<ArtNetOther>(parseArtNet(artPollReply(ArtNetNode{}, 1, 1))));
    std::vector<std::uint8_t> address = artSyncPacket();
    address[9] = 0x60; // ArtAddress
    EXPECT_TRUE(std::holds_alternative<ArtNetOther>(parseArtNet(address)));
}

TEST(ArtNetPacket, BrokenPacketsAreDroppedWithTheirReason) {
    const auto kindOf = [](const std::vector<std::uint8_t>& bytes) {
        const ArtNetPacket parsed = parseArtNet(bytes);
        const auto* problem = std::get_if<ArtNetProblem>(&parsed);
        return problem ? std::string(problem->kind) : std::string("accepted");
    };
    const std::vector<std::uint8_t> good = artDmxPacket(1, 0, ramp(24));
    std::vector<std::uint8_t> bytes = good;
    bytes[3] = 'x';
    EXPECT_EQ(kindOf(bytes), "not Art-Net");
    EXPECT_EQ(kindOf({good.begin(), good.begin() + 11}), "truncated");
    EXPECT_EQ(kindOf({good.begin(), good.end() - 1}), "truncated"); // shorter than its length
    bytes = good;
    bytes[11] = 13;
    EXPECT_EQ(kindOf(bytes), "old version");
    bytes = good;
    bytes[15] = 0x80;
    EXPECT_EQ(kindOf(bytes), "bad universe");
    for (int length : {0, 513, 0xffff}) {
        bytes = good;
        bytes[16] = static_cast<std::uint8_t>(length >> 8);
        bytes[17] = static_cast<std::uint8_t>(length);
        EXPECT_EQ(kindOf(bytes), "bad length") << length;
    }
    std::vector<std::uint8_t> code = artTimeCodePacket(Timecode{}, TimecodeRate::ebu25);
    ASSERT_EQ(code.size(), 19u);
    EXPECT_EQ(code[14], 0); // frames first, after the filler and the stream id
    code[18] = 4;
    EXPECT_EQ(kindOf(code), "bad timecode");
    code = artTimeCodePacket(Timecode{0, 0, 0, 25}, TimecodeRate::ebu25);
    EXPECT_EQ(kindOf(code), "bad timecode");
    EXPECT_EQ(kindOf(artTimeCodePacket(Timecode{0, 1, 0, 0}, TimecodeRate::dropFrame2997)),
              "bad timecode"); // a label drop-frame skips
    // Trailing bytes after the levels are not the packet's business.
    bytes = good;
    bytes.resize(bytes.size() + 100, 0xee);
    EXPECT_EQ(kindOf(bytes), "accepted");
}

TEST(ArtNetPacket, PollReplyNamesTheNodeAndOneUniverse) {
    ArtNetNode node;
    node.ip = {10, 0, 0, 7};
    node.shortName = "Prismeta";
    node.longName = "Prismeta stage-left with a name much longer than sixty-four bytes allow it";
    const std::vector<std::uint8_t> reply = artPollReply(node, 0x1234, 3);
    ASSERT_EQ(reply.size(), 239u);
    EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + 10, reply.begin() + 14),
              (std::vector<std::uint8_t>{10, 0, 0, 7}));
    EXPECT_EQ(reply[14], 0x36); // 6454, low byte first
    EXPECT_EQ(reply[15], 0x19);
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[26]), "Prismeta");
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(&reply[44])), 63u);
    EXPECT_EQ(reply[18], 0x12);  // Net
    EXPECT_EQ(reply[19], 0x03);  // Sub-Net
    EXPECT_EQ(reply[190], 0x04); // the output port's universe
    EXPECT_EQ(reply[173], 1);
    EXPECT_EQ(reply[174], 0x80);
    EXPECT_EQ(reply[211], 3);
}

SacnSender sender(int priority = 100) {
    SacnSender s;
    s.cid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    s.name = "Desk \x01 A";
    s.priority = priority;
    return s;
}

TEST(SacnPacket, DataCarriesSourcePriorityOptionsAndLevels) {
    SacnSender s = sender(150);
    s.syncAddress = 7;
    const std::vector<std::uint8_t> levels = ramp(200);
    const std::vector<std::uint8_t> packet = sacnDataPacket(s, 63999, 200, levels);
    ASSERT_EQ(packet.size(), 126u + 200u);
    const SacnPacket parsed = parseSacn(packet);
    const auto* data = std::get_if<SacnData>(&parsed);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->cid, s.cid);
    EXPECT_EQ(data->sourceName, "Desk ? A");
    EXPECT_EQ(data->priority, 150);
    EXPECT_EQ(data->syncAddress, 7);
    EXPECT_EQ(data->sequence, 200);
    EXPECT_EQ(data->universe, 63999);
    EXPECT_FALSE(data->terminated);
    EXPECT_TRUE(std::equal(data->levels.begin(), data->levels.end(), levels.begin(), levels.end()));

    s.terminated = true;
    s.preview = true;
    const SacnPacket last = parseSacn(sacnDataPacket(s, 1, 0, {}));
    ASSERT_TRUE(std::holds_alternative<SacnData>(last));
    EXPECT_TRUE(std::get<SacnData>(last).terminated);
    EXPECT_TRUE(std::get<SacnData>(last).preview);
    EXPECT_TRUE(std::get<SacnData>(last).levels.empty());

    const SacnPacket sync = parseSacn(sacnSyncPacket(s.cid, 5, 7));
    ASSERT_TRUE(std::holds_alternative<SacnSync>(sync));
    EXPECT_EQ(std::get<SacnSync>(sync).syncAddress, 7);
    EXPECT_EQ(sacnMulticastGroup(0x1234), 0xefff1234u);
}

TEST(SacnPacket, BrokenPacketsAreDroppedWithTheirReason) {
    const auto kindOf = [](const std::vector<std::uint8_t>& bytes) {
        const SacnPacket parsed = parseSacn(bytes);
        const auto* problem = std::get_if<SacnProblem>(&parsed);
        return problem ? std::string(problem->kind) : std::string("accepted");
    };
    const std::vector<std::uint8_t> good = sacnDataPacket(sender(), 5, 1, ramp(16));
    EXPECT_EQ(kindOf(good), "accepted");
    std::vector<std::uint8_t> bytes = good;
    bytes[6] = 'X';
    EXPECT_EQ(kindOf(bytes), "not sACN");
    EXPECT_EQ(kindOf({good.begin(), good.begin() + 40}), "not sACN");
    EXPECT_EQ(kindOf({good.begin(), good.end() - 1}), "bad length"); // root length says more
    bytes = good;
    bytes.push_back(0);
    EXPECT_EQ(kindOf(bytes), "bad length");
    bytes = good;
    bytes[124] = 200; // more property values than the packet holds
    EXPECT_EQ(kindOf(bytes), "bad length");
    bytes = good;
    bytes[21] = 9;
    EXPECT_EQ(kindOf(bytes), "bad vector");
    bytes = good;
    bytes[118] = 0xa0;
    EXPECT_EQ(kindOf(bytes), "bad vector");
    EXPECT_EQ(kindOf(sacnDataPacket(sender(201), 5, 1, ramp(4))), "bad priority");
    EXPECT_EQ(kindOf(sacnDataPacket(sender(), 0, 1, ramp(4))), "bad universe");
    EXPECT_EQ(kindOf(sacnDataPacket(sender(), 64000, 1, ramp(4))), "bad universe");
    EXPECT_EQ(kindOf(sacnSyncPacket(sender().cid, 0, 0)), "bad universe");
    std::vector<std::uint8_t> sync = sacnSyncPacket(sender().cid, 0, 1);
    sync.pop_back();
    EXPECT_EQ(kindOf(sync), "bad length");
}

} // namespace
} // namespace prismeta
