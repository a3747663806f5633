// The receiver on its thread, over real UDP on the loopback address: Art-Net
// unicast and sACN multicast from our own senders (on free ports), merging
// and termination, ArtPoll discovery, ArtSync, hostile packets, a port held
// by another program, as many universes as a show uses, and OLA's olad as an
// independent sender where it runs.
#include "TestSenders.h"

#include "core/Log.h"
#include "dmx/ArtNetPacket.h"
#include "dmx/DmxReceiver.h"
#include "dmx/SacnPacket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <variant>

namespace prismeta::test {
namespace {

struct Receiving {
    std::atomic<int> wakes{0};
    std::unique_ptr<DmxReceiver> receiver;

    explicit Receiving(std::vector<int> universes, DmxReceiverConfig config = {}) {
        config.artNetPort = config.artNetPort == artNetPort ? 0 : config.artNetPort;
        config.sacnPort = config.sacnPort == sacnPort ? 0 : config.sacnPort;
        config.machineName = "stage-left";
        auto started = DmxReceiver::start(config, [this] { ++wakes; });
        if (!started) {
            ADD_FAILURE() << started.error();
            return;
        }
        receiver = std::move(started.value());
        receiver->setUniverses(universes);
    }
    // The universe's first levels, once `first` is what it shows.
    bool shows(int universe, std::vector<std::uint8_t> first) {
        return eventually([&] {
            UniverseLevels levels;
            receiver->rearm();
            return receiver->read(universe, levels) &&
                   std::equal(first.begin(), first.end(), levels.levels.begin());
        });
    }
};

SacnSender sacnSource(std::uint8_t id, int priority, const char* name) {
    SacnSender s;
    s.cid[0] = id;
    s.priority = priority;
    s.name = name;
    return s;
}

TEST(DmxReceiver, ArtNetUnicastAndSacnMulticastReachTheUniversesInUse) {
    Receiving in({0, 7});
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    desk.sendTo(in.receiver->artNetPort(), artDmxPacket(0, 1, std::vector<std::uint8_t>{11, 12}));
    EXPECT_TRUE(in.shows(0, {11, 12}));
    const SacnSender desk2 = sacnSource(1, 100, "Console");
    desk.multicast(sacnMulticastGroup(7), in.receiver->sacnPort(),
                   sacnDataPacket(desk2, 7, 1, std::vector<std::uint8_t>{21, 22, 23}));
    EXPECT_TRUE(in.shows(7, {21, 22, 23}));
    EXPECT_GT(in.wakes.load(), 0);
    // A universe not in use is not kept.
    desk.sendTo(in.receiver->artNetPort(), artDmxPacket(5, 1, std::vector<std::uint8_t>{9}));
    desk.sendTo(in.receiver->sacnPort(), sacnDataPacket(desk2, 8, 2, std::vector<std::uint8_t>{9}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    UniverseLevels levels;
    EXPECT_FALSE(in.receiver->read(5, levels));
    EXPECT_FALSE(in.receiver->read(8, levels));
}

TEST(DmxReceiver, PrioritiesMergeAndTerminationOverTheNetwork) {
    Receiving in({3});
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    const std::uint16_t port = in.receiver->sacnPort();
    const std::uint32_t group = sacnMulticastGroup(3);
    const SacnSender main = sacnSource(1, 100, "Main");
    const SacnSender other = sacnSource(2, 100, "Wing");
    SacnSender backup = sacnSource(3, 150, "Backup");
    desk.multicast(group, port, sacnDataPacket(main, 3, 1, std::vector<std::uint8_t>{200, 10}));
    desk.multicast(group, port, sacnDataPacket(other, 3, 1, std::vector<std::uint8_t>{20, 100}));
    EXPECT_TRUE(in.shows(3, {200, 100}));
    desk.multicast(group, port, sacnDataPacket(backup, 3, 1, std::vector<std::uint8_t>{1, 1}));
    EXPECT_TRUE(in.shows(3, {1, 1}));
    const std::vector<DmxSourceStatus> sources = in.receiver->status(DmxReceiver::now());
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[2].name, "Backup");
    EXPECT_EQ(sources[2].priority, 150);
    backup.terminated = true;
    desk.multicast(group, port, sacnDataPacket(backup, 3, 2, {}));
    EXPECT_TRUE(in.shows(3, {200, 100}));
    EXPECT_EQ(in.receiver->status(DmxReceiver::now()).size(), 2u);
}

TEST(DmxReceiver, AnswersArtPollWithOneReplyPerUniverse) {
    Receiving in({1, 0x123, 40000}); // 40000 is sACN's alone
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    desk.sendTo(in.receiver->artNetPort(), artPollPacket());
    std::vector<int> universes;
    while (const auto reply = desk.receive(std::chrono::milliseconds(1000))) {
        ASSERT_GE(reply->size(), 239u);
        EXPECT_EQ((*reply)[9], 0x21); // OpPollReply
        EXPECT_STREQ(reinterpret_cast<const char*>(&(*reply)[26]), "Prismeta");
        EXPECT_STREQ(reinterpret_cast<const char*>(&(*reply)[44]), "Prismeta stage-left");
        EXPECT_EQ((*reply)[10], 127); // the address it was reached on
        universes.push_back(((*reply)[18] << 8) | ((*reply)[19] << 4) | (*reply)[190]);
        EXPECT_EQ((*reply)[211], universes.size()); // bind index
        if (universes.size() == 2) {
            break;
        }
    }
    EXPECT_EQ(universes, (std::vector<int>{1, 0x123}));
}

TEST(DmxReceiver, ArtSyncHoldsLevelsUntilTheNextSync) {
    Receiving in({2});
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    const std::uint16_t port = in.receiver->artNetPort();
    desk.sendTo(port, artDmxPacket(2, 1, std::vector<std::uint8_t>{1}));
    ASSERT_TRUE(in.shows(2, {1}));
    desk.sendTo(port, artSyncPacket());
    desk.sendTo(port, artDmxPacket(2, 2, std::vector<std::uint8_t>{2}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    UniverseLevels levels;
    ASSERT_TRUE(in.receiver->read(2, levels));
    EXPECT_EQ(levels.levels[0], 1); // waiting for the sync
    desk.sendTo(port, artSyncPacket());
    EXPECT_TRUE(in.shows(2, {2}));
}

TEST(DmxReceiver, HostilePacketsAreDroppedAndCountedAndTheRestGoesOn) {
    Receiving in({4});
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    std::mt19937 random(32);
    std::vector<std::uint8_t> noise(700);
    for (int i = 0; i < 200; ++i) {
        for (auto& byte : noise) {
            byte = static_cast<std::uint8_t>(random());
        }
        desk.sendTo(in.receiver->artNetPort(), {noise.data(), 1 + random() % noise.size()});
        desk.sendTo(in.receiver->sacnPort(), {noise.data(), 1 + random() % noise.size()});
    }
    std::vector<std::uint8_t> lying = artDmxPacket(4, 1, std::vector<std::uint8_t>(16, 9));
    lying[16] = 0x02; // says 512 levels
    lying[17] = 0x00;
    desk.sendTo(in.receiver->artNetPort(), lying);
    desk.sendTo(in.receiver->sacnPort(), std::vector<std::uint8_t>(1400, 0x41)); // fits the buffer
    std::vector<std::uint8_t> huge(9000, 0); // larger than any DMX packet
    desk.sendTo(in.receiver->sacnPort(), huge);
    desk.sendTo(in.receiver->artNetPort(), artDmxPacket(4, 1, std::vector<std::uint8_t>{77}));
    EXPECT_TRUE(in.shows(4, {77}));
    std::uint64_t dropped = 0;
    bool oversized = false;
    bool truncated = false;
    ASSERT_TRUE(eventually([&] {
        for (const DmxReceiver::Drop& drop : in.receiver->takeDrops()) {
            dropped += drop.count;
            oversized = oversized || drop.kind == "oversized";
            truncated = truncated || drop.kind == "truncated";
        }
        return dropped >= 403;
    }));
    EXPECT_TRUE(oversized);
    EXPECT_TRUE(truncated);
}

TEST(DmxReceiver, APortHeldByAnotherProgramIsOneLineAndTheOtherProtocolRuns) {
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY); // no SO_REUSEADDR: held alone
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<std::string> lines;
    DmxReceiverConfig config;
    config.artNetPort = ntohs(address.sin_port);
    config.sacnPort = 0;
    {
        const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
        auto started = DmxReceiver::start(config, nullptr);
        ASSERT_TRUE(started) << started.error();
        EXPECT_EQ(started.value()->artNetPort(), 0);
        EXPECT_NE(started.value()->sacnPort(), 0);
        config.sacn = false; // with nothing else to run, it fails, and its caller says why
        const auto failed = DmxReceiver::start(config, nullptr);
        ASSERT_FALSE(failed);
        EXPECT_NE(failed.error().find("Art-Net on UDP port " + std::to_string(config.artNetPort) +
                                      ": Address already in use (another program holds it "
                                      "without sharing it)"),
                  std::string::npos)
            << failed.error();
    }
    ::close(holder);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Art-Net on UDP port " + std::to_string(config.artNetPort)),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("another program holds it"), std::string::npos);
    DmxReceiverConfig elsewhere;
    elsewhere.address = "192.0.2.1";
    EXPECT_FALSE(DmxReceiver::start(elsewhere, nullptr)); // not this computer's
}

TEST(DmxReceiver, ThirtyTwoUniversesBeyondOneSocketsGroupLimit) {
    std::vector<int> universes;
    for (int u = 1; u <= 32; ++u) {
        universes.push_back(1000 + u);
    }
    Receiving in(universes);
    ASSERT_TRUE(in.receiver);
    TestDesk desk;
    const SacnSender desk2 = sacnSource(1, 100, "Console");
    for (int universe : universes) {
        desk.multicast(
            sacnMulticastGroup(universe), in.receiver->sacnPort(),
            sacnDataPacket(desk2, universe, 1,
                           std::vector<std::uint8_t>{static_cast<std::uint8_t>(universe & 0xff)}));
    }
    for (int universe : universes) {
        EXPECT_TRUE(in.shows(universe, {static_cast<std::uint8_t>(universe & 0xff)})) << universe;
    }
    // Leaving them, and joining again, works as a show reloads.
    in.receiver->setUniverses(std::vector<int>{});
    in.receiver->setUniverses(universes);
    desk.multicast(sacnMulticastGroup(1032), in.receiver->sacnPort(),
                   sacnDataPacket(desk2, 1032, 2, std::vector<std::uint8_t>{99}));
    EXPECT_TRUE(in.shows(1032, {99}));
}

// OLA's daemon as a desk: its E1.31 plugin sends multicast to sACN's own
// port (OLA has no other) out of the first interface that is not the
// loopback (OLA leaves that out), looped back to this machine; Prismeta's
// receiver listens on that interface beside any other listener, in a
// universe picked at random.
class Olad {
public:
    Olad() {
        if (std::system("command -v olad >/dev/null 2>&1 && command -v ola_set_dmx "
                        ">/dev/null 2>&1") != 0) {
            why_ = "OLA is not installed";
            return;
        }
        dir_ = std::filesystem::temp_directory_path() /
               ("prismeta-olad-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        std::filesystem::permissions(dir_, std::filesystem::perms::all);
        for (const char* plugin : {"artnet", "dummy",      "espnet",  "ftdidmx", "gpio",
                                   "karate", "kinet",      "milinst", "opendmx", "openpixelcontrol",
                                   "osc",    "pathport",   "renard",  "sandnet", "shownet",
                                   "spi",    "stageprofi", "uartdmx", "usbdmx",  "usbserial"}) {
            std::ofstream(dir_ / ("ola-" + std::string(plugin) + ".conf")) << "enabled = false\n";
        }
        std::ofstream(dir_ / "ola-e131.conf") << "enabled = true\ninput_ports = 0\n"
                                                 "output_ports = 1\nprepend_hostname = false\n";
        // olad writes its settings back, as whichever user it runs as.
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            std::filesystem::permissions(
                entry.path(),
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                    std::filesystem::perms::group_read | std::filesystem::perms::group_write |
                    std::filesystem::perms::others_read | std::filesystem::perms::others_write);
        }
        // Made before fork: the child of a process with threads must not allocate.
        const std::string config = dir_.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            // olad refuses to run as root: a test run as root runs it as nobody.
            if (::getuid() == 0) {
                ::execlp("setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                         "olad", "-c", config.c_str(), "--no-http", "-l", "1", nullptr);
            } else {
                ::execlp("olad", "olad", "-c", config.c_str(), "--no-http", "-l", "1", nullptr);
            }
            ::_exit(127);
        }
        // Its RPC answers once it is up; its port, 9010, is fixed: an olad
        // already there answers instead, and this one gives up.
        const bool answers =
            eventually([] { return std::system("ola_dev_info >/dev/null 2>&1") == 0; },
                       std::chrono::seconds(10));
        if (!answers || ::waitpid(pid_, nullptr, WNOHANG) != 0) {
            why_ = "olad did not come up (its RPC port 9010 may be another olad's)";
        }
    }
    ~Olad() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& why() const { return why_; }
    // Patches the E1.31 device's output port to the universe; the address
    // of the interface it sends from.
    std::string patch(int universe) const {
        FILE* info = ::popen("ola_dev_info 2>/dev/null", "r");
        if (info == nullptr) {
            return {};
        }
        char line[512];
        int device = -1;
        std::string address;
        while (std::fgets(line, sizeof line, info) != nullptr) {
            int id = 0;
            char ip[64] = {};
            if (std::sscanf(line, "Device %d: E1.31 (DMX over ACN) [%63[0-9.]]", &id, ip) >= 1) {
                device = id;
                address = ip;
            }
        }
        ::pclose(info);
        const bool patched =
            device >= 0 && std::system(("ola_patch -d " + std::to_string(device) + " -p 0 -u " +
                                        std::to_string(universe) + " >/dev/null 2>&1")
                                           .c_str()) == 0;
        return patched ? address : std::string();
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::string why_;
};

TEST(DmxReceiver, OlaDaemonAsAnIndependentSacnSender) {
    Olad olad;
    if (!olad.why().empty()) {
        GTEST_SKIP() << olad.why();
    }
    const int universe = 20000 + static_cast<int>(::getpid() % 20000);
    const std::string address = olad.patch(universe);
    if (address.empty()) {
        GTEST_SKIP() << "olad has no E1.31 device on a network interface";
    }
    DmxReceiverConfig config;
    config.address = address;
    config.artNet = false;
    config.sacnPort = sacnPort;
    auto started = DmxReceiver::start(config, nullptr);
    ASSERT_TRUE(started) << started.error();
    DmxReceiver& receiver = *started.value();
    receiver.setUniverses(std::vector<int>{universe});
    const std::string set = "ola_set_dmx -u " + std::to_string(universe) + " -d 10,20,255";
    ASSERT_EQ(std::system(set.c_str()), 0);
    EXPECT_TRUE(eventually([&] {
        UniverseLevels levels;
        return receiver.read(universe, levels) && levels.levels[0] == 10 &&
               levels.levels[1] == 20 && levels.levels[2] == 255;
    }));
    const std::vector<DmxSourceStatus> sources = receiver.status(DmxReceiver::now());
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].protocol, DmxProtocol::sacn);
    EXPECT_EQ(sources[0].priority, 100);
}

} // namespace
} // namespace prismeta::test
