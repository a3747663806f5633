#include "dmx/DmxReceiver.h"

#include "core/Log.h"
#include "dmx/SacnPacket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <variant>

namespace prismeta {

namespace {

// ArtSync holds levels back only while syncs keep coming.
constexpr double artSyncSeconds = 4.0;
// The sync address Art-Net's staged levels wait under (sACN's are 1..63999).
constexpr int artNetSyncAddress = 0x10000;
// How often sources are looked at for silence.
constexpr int expiryMilliseconds = 100;
constexpr int receiveBufferBytes = 1 << 20;

std::string addressText(std::uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// Art-Net tells its sources apart by their address, as its merge does: a
// desk that starts again (from another port) is the same source.
DmxSourceId artNetSource(std::uint32_t address) {
    DmxSourceId id;
    id.protocol = DmxProtocol::artNet;
    id.bytes[0] = static_cast<std::uint8_t>(address >> 24);
    id.bytes[1] = static_cast<std::uint8_t>(address >> 16);
    id.bytes[2] = static_cast<std::uint8_t>(address >> 8);
    id.bytes[3] = static_cast<std::uint8_t>(address);
    return id;
}

// A UDP socket on every IPv4 interface at port, shared with other programs
// that allow it, telling on which interface each packet arrived. -1 with
// errno set when it cannot be had.
int openShared(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

} // namespace

double DmxReceiver::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DmxReceiver::DmxReceiver(DmxReceiverConfig config, std::function<void()> wake)
    : config_(std::move(config)), wake_(std::move(wake)) {}

std::unique_ptr<DmxReceiver> DmxReceiver::detached() {
    return std::unique_ptr<DmxReceiver>(new DmxReceiver(DmxReceiverConfig{}, nullptr));
}

Result<std::unique_ptr<DmxReceiver>> DmxReceiver::start(const DmxReceiverConfig& config,
                                                        std::function<void()> wake) {
    using Made = Result<std::unique_ptr<DmxReceiver>>;
    in_addr wanted{};
    if (::inet_pton(AF_INET, config.address.c_str(), &wanted) != 1) {
        return Made::failure(config.address + " is not an IPv4 address");
    }
    std::unique_ptr<DmxReceiver> receiver(new DmxReceiver(config, std::move(wake)));
    const bool everywhere = wanted.s_addr == htonl(INADDR_ANY);
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return Made::failure(std::string("the network interfaces cannot be listed: ") +
                             std::strerror(errno));
    }
    for (const ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET ||
            !(i->ifa_flags & IFF_UP)) {
            continue;
        }
        const in_addr local = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        if (everywhere) {
            if (i->ifa_flags & (IFF_MULTICAST | IFF_LOOPBACK)) {
                receiver->joinAddresses_.push_back(ntohl(local.s_addr));
            }
        } else if (local.s_addr == wanted.s_addr) {
            receiver->interfaceIndex_ = static_cast<int>(::if_nametoindex(i->ifa_name));
            receiver->joinAddresses_.push_back(ntohl(local.s_addr));
        }
    }
    ::freeifaddrs(interfaces);
    if (!everywhere && receiver->interfaceIndex_ == 0) {
        return Made::failure(config.address + " is not an address of this computer");
    }

    std::vector<std::string> problems;
    const auto open = [&](bool wantedProtocol, std::uint16_t port, const char* name, int& fd,
                          std::uint16_t& bound) {
        if (!wantedProtocol) {
            return;
        }
        fd = openShared(port);
        if (fd < 0) {
            const int error = errno;
            std::string line = std::string(name) + " on UDP port " + std::to_string(port) + ": " +
                               std::strerror(error);
            if (error == EADDRINUSE) {
                line += " (another program holds it without sharing it)";
            }
            problems.push_back(std::move(line));
            return;
        }
        bound = boundPort(fd);
    };
    open(config.artNet, config.artNetPort, "Art-Net", receiver->artNetSocket_,
         receiver->artNetPort_);
    open(config.sacn, config.sacnPort, "sACN", receiver->sacnSocket_, receiver->sacnPort_);
    if (receiver->artNetSocket_ < 0 && receiver->sacnSocket_ < 0) {
        // The caller says it, in one line.
        std::string why;
        for (const std::string& problem : problems) {
            why += why.empty() ? problem : "; " + problem;
        }
        return Made::failure(why.empty() ? "no protocol is enabled" : why);
    }
    for (const std::string& problem : problems) {
        logLine("Prismeta: DMX cannot listen for " + problem); // the other protocol runs
    }
    receiver->stopEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (receiver->stopEvent_ < 0) {
        return Made::failure(std::string("no event descriptor: ") + std::strerror(errno));
    }
    receiver->thread_ = std::thread([r = receiver.get()] { r->run(); });
    return Made(std::move(receiver));
}

DmxReceiver::~DmxReceiver() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(stopEvent_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : membershipSockets_) {
        ::close(fd);
    }
    for (int fd : {artNetSocket_, sacnSocket_, stopEvent_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void DmxReceiver::run() {
    pollfd fds[3] = {{stopEvent_, POLLIN, 0}, {artNetSocket_, POLLIN, 0}, {sacnSocket_, POLLIN, 0}};
    auto lastExpiry = std::chrono::steady_clock::now();
    for (;;) {
        const int ready = ::poll(fds, 3, expiryMilliseconds);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            receiveFrom(artNetSocket_, DmxProtocol::artNet);
        }
        if (fds[2].revents & POLLIN) {
            receiveFrom(sacnSocket_, DmxProtocol::sacn);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastExpiry >= std::chrono::milliseconds(expiryMilliseconds)) {
            lastExpiry = now;
            bool lost = false;
            {
                const std::lock_guard lock(mutex_);
                const double seconds = DmxReceiver::now();
                for (auto& [universe, merge] : universes_) {
                    lost = merge.expire(seconds) || lost;
                }
            }
            if (lost) {
                changed();
            }
        }
    }
}

void DmxReceiver::receiveFrom(int socket, DmxProtocol protocol) {
    std::uint8_t buffer[maxPacketBytes];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    // A burst is read whole, but a flood does not keep the thread from
    // looking at silent sources.
    for (int packets = 0; packets < 4096; ++packets) {
        sockaddr_in from{};
        iovec part{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t size = ::recvmsg(socket, &message, MSG_DONTWAIT);
        if (size < 0) {
            return;
        }
        int arrivedOn = 0;
        std::uint32_t local = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                arrivedOn = info.ipi_ifindex;
                local = ntohl(info.ipi_spec_dst.s_addr);
            }
        }
        if (interfaceIndex_ != 0 && arrivedOn != interfaceIndex_) {
            continue; // another interface than the one chosen
        }
        if (message.msg_flags & MSG_TRUNC) {
            drop("oversized", "a packet larger than " + std::to_string(maxPacketBytes) +
                                  " bytes from " + addressText(ntohl(from.sin_addr.s_addr)));
            continue;
        }
        const std::span<const std::uint8_t> bytes(buffer, static_cast<std::size_t>(size));
        const std::uint32_t sender = ntohl(from.sin_addr.s_addr);
        if (protocol == DmxProtocol::artNet) {
            handleArtNet(bytes, sender, ntohs(from.sin_port), local, now());
        } else {
            handleSacn(bytes, sender, now());
        }
    }
}

void DmxReceiver::deliver(DmxProtocol protocol, std::span<const std::uint8_t> bytes,
                          std::uint32_t from, std::uint16_t fromPort, double now) {
    if (protocol == DmxProtocol::artNet) {
        handleArtNet(bytes, from, fromPort, 0, now);
    } else {
        handleSacn(bytes, from, now);
    }
}

void DmxReceiver::handleArtNet(std::span<const std::uint8_t> bytes, std::uint32_t from,
                               std::uint16_t fromPort, std::uint32_t localAddress, double now) {
    const ArtNetPacket packet = parseArtNet(bytes);
    bool shownChanged = false;
    bool refused = false;
    if (const auto* problem = std::get_if<ArtNetProblem>(&packet)) {
        drop(problem->kind, problem->details + " from " + addressText(from));
        return;
    }
    if (const auto* dmx = std::get_if<ArtNetDmx>(&packet)) {
        const DmxSourceId source = artNetSource(from);
        const std::lock_guard lock(mutex_);
        const auto universe = universes_.find(dmx->portAddress);
        if (universe == universes_.end()) {
            return;
        }
        UniverseMerge& merge = universe->second;
        // A sync from this sender holds its levels back, unless others merge in.
        const bool synced = now - lastArtSync_ < artSyncSeconds && artSyncSender_ == source &&
                            merge.sourceCount(DmxProtocol::artNet) <= 1;
        UniverseMerge::Packet in;
        in.source = source;
        char name[32];
        std::snprintf(name, sizeof name, "Art-Net %u.%u.%u.%u", from >> 24, (from >> 16) & 0xff,
                      (from >> 8) & 0xff, from & 0xff);
        in.name = name;
        in.priority = defaultSacnPriority;
        if (dmx->sequence != 0) {
            in.sequence = dmx->sequence;
        }
        in.levels = dmx->levels;
        in.address = from;
        in.syncAddress = synced ? artNetSyncAddress : 0;
        const UniverseMerge::Outcome outcome = merge.receive(in, now);
        shownChanged = outcome == UniverseMerge::Outcome::shown;
        if (outcome == UniverseMerge::Outcome::refused) {
            refused = true;
        }
    } else if (std::holds_alternative<ArtNetPoll>(packet)) {
        answerPoll(from, fromPort, localAddress);
    } else if (std::holds_alternative<ArtNetSync>(packet)) {
        const DmxSourceId source = artNetSource(from);
        const std::lock_guard lock(mutex_);
        lastArtSync_ = now;
        artSyncSender_ = source;
        for (auto& [universe, merge] : universes_) {
            const std::uint64_t before = merge.shown().changes;
            merge.commit(DmxProtocol::artNet, artNetSyncAddress, &source, now);
            shownChanged = shownChanged || merge.shown().changes != before;
        }
    } else if (const auto* code = std::get_if<ArtNetTimeCode>(&packet)) {
        const std::lock_guard lock(mutex_);
        timecode_ = TimecodeReading{code->timecode, code->rate, now};
        shownChanged = true;
    }
    if (refused) {
        drop("too many sources", "Art-Net sender " + addressText(from) +
                                     ": its universe already has " +
                                     std::to_string(UniverseMerge::maxSources) + " sources");
    }
    if (shownChanged) {
        changed();
    }
}

void DmxReceiver::handleSacn(std::span<const std::uint8_t> bytes, std::uint32_t from, double now) {
    const SacnPacket packet = parseSacn(bytes);
    bool shownChanged = false;
    if (const auto* problem = std::get_if<SacnProblem>(&packet)) {
        drop(problem->kind, problem->details + " from " + addressText(from));
        return;
    }
    if (const auto* data = std::get_if<SacnData>(&packet)) {
        if (data->preview || data->startCode != 0) {
            return; // for visualisers, or not levels (per-channel priorities, say)
        }
        DmxSourceId source;
        source.protocol = DmxProtocol::sacn;
        source.bytes = data->cid;
        bool refusedSource = false;
        {
            const std::lock_guard lock(mutex_);
            const auto universe = universes_.find(data->universe);
            if (universe == universes_.end()) {
                return;
            }
            UniverseMerge& merge = universe->second;
            const std::uint64_t before = merge.shown().changes;
            if (data->terminated) {
                merge.terminate(source, now);
            } else {
                const auto sync = sacnSyncSeen_.find(data->syncAddress);
                UniverseMerge::Packet in;
                in.source = source;
                in.name = data->sourceName;
                in.priority = data->priority;
                in.sequence = data->sequence;
                in.levels = data->levels;
                in.address = from;
                in.syncAddress = data->syncAddress != 0 && sync != sacnSyncSeen_.end() &&
                                         now - sync->second < sacnLossSeconds
                                     ? data->syncAddress
                                     : 0;
                refusedSource = merge.receive(in, now) == UniverseMerge::Outcome::refused;
            }
            shownChanged = merge.shown().changes != before;
        }
        if (refusedSource) {
            drop("too many sources", "sACN source \"" + data->sourceName + "\" of universe " +
                                         std::to_string(data->universe) + ": it already has " +
                                         std::to_string(UniverseMerge::maxSources));
        }
    } else if (const auto* sync = std::get_if<SacnSync>(&packet)) {
        const std::lock_guard lock(mutex_);
        sacnSyncSeen_[sync->syncAddress] = now;
        for (auto& [universe, merge] : universes_) {
            const std::uint64_t before = merge.shown().changes;
            merge.commit(DmxProtocol::sacn, sync->syncAddress, nullptr, now);
            shownChanged = shownChanged || merge.shown().changes != before;
        }
    }
    if (shownChanged) {
        changed();
    }
}

void DmxReceiver::answerPoll(std::uint32_t to, std::uint16_t toPort, std::uint32_t localAddress) {
    if (artNetSocket_ < 0) {
        return;
    }
    std::vector<int> universes;
    std::uint32_t count = 0;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [universe, merge] : universes_) {
            if (universe <= maxArtNetPortAddress) {
                universes.push_back(universe);
            }
        }
        count = ++pollReplies_;
    }
    ArtNetNode node;
    const std::uint32_t own =
        localAddress != 0 ? localAddress : (joinAddresses_.empty() ? 0 : joinAddresses_.front());
    node.ip = {static_cast<std::uint8_t>(own >> 24), static_cast<std::uint8_t>(own >> 16),
               static_cast<std::uint8_t>(own >> 8), static_cast<std::uint8_t>(own)};
    node.port = artNetPort_;
    node.shortName = "Prismeta";
    node.longName = config_.machineName.empty() ? "Prismeta" : "Prismeta " + config_.machineName;
    char report[64];
    std::snprintf(report, sizeof report, "#0001 [%04u] Prismeta: %zu universes", count % 10000,
                  universes.size());
    node.report = report;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(toPort);
    address.sin_addr.s_addr = htonl(to);
    const auto send = [&](const std::vector<std::uint8_t>& reply) {
        ::sendto(artNetSocket_, reply.data(), reply.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    };
    if (universes.empty()) {
        std::vector<std::uint8_t> reply = artPollReply(node, 0, 1);
        reply[173] = 0; // no ports yet
        send(reply);
        return;
    }
    // Art-Net 4's one port per reply, told apart by the bind index.
    for (std::size_t i = 0; i < universes.size() && i < 255; ++i) {
        send(artPollReply(node, universes[i], static_cast<std::uint8_t>(i + 1)));
    }
}

void DmxReceiver::setUniverses(std::span<const int> universes) {
    const std::lock_guard lock(mutex_);
    std::map<int, UniverseMerge> kept;
    for (int universe : universes) {
        if (universe < 0 || universe > maxSacnUniverse || kept.contains(universe)) {
            continue;
        }
        const auto old = universes_.find(universe);
        kept.emplace(universe, old != universes_.end() ? std::move(old->second) : UniverseMerge());
    }
    universes_ = std::move(kept);
    joinGroupsLocked();
}

void DmxReceiver::joinGroupsLocked() {
    if (sacnSocket_ < 0) {
        return;
    }
    std::vector<int> wanted;
    for (const auto& [universe, merge] : universes_) {
        if (universe >= minSacnUniverse) {
            wanted.push_back(universe);
        }
    }
    const auto membership = [this](int universe, std::uint32_t local, int option, int fd) {
        ip_mreqn request{};
        request.imr_multiaddr.s_addr = htonl(sacnMulticastGroup(universe));
        request.imr_address.s_addr = htonl(local);
        return ::setsockopt(fd, IPPROTO_IP, option, &request, sizeof request);
    };
    // Leaving: each group on whichever socket holds it (trying them all is
    // cheap and needs no bookkeeping).
    for (int universe : joined_) {
        if (std::binary_search(wanted.begin(), wanted.end(), universe)) {
            continue;
        }
        for (std::uint32_t local : joinAddresses_) {
            if (membership(universe, local, IP_DROP_MEMBERSHIP, sacnSocket_) != 0) {
                for (int fd : membershipSockets_) {
                    if (membership(universe, local, IP_DROP_MEMBERSHIP, fd) == 0) {
                        break;
                    }
                }
            }
        }
    }
    bool logged = false;
    for (int universe : wanted) {
        if (std::binary_search(joined_.begin(), joined_.end(), universe)) {
            continue;
        }
        for (std::uint32_t local : joinAddresses_) {
            // A socket holds a limited number of groups (igmp_max_memberships,
            // 20 by default): further ones go on sockets that only hold
            // memberships; the receiving socket gets every group joined.
            int fd = membershipSockets_.empty() ? sacnSocket_ : membershipSockets_.back();
            int joined = membership(universe, local, IP_ADD_MEMBERSHIP, fd);
            if (joined != 0 && errno == ENOBUFS) {
                const int more = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
                if (more >= 0) {
                    membershipSockets_.push_back(more);
                    joined = membership(universe, local, IP_ADD_MEMBERSHIP, more);
                }
            }
            if (joined != 0 && errno != EADDRINUSE && !logged) {
                logged = true;
                logLine("Prismeta: DMX cannot join the sACN group of universe " +
                        std::to_string(universe) + " on " + addressText(local) + ": " +
                        std::strerror(errno));
            }
        }
    }
    joined_ = std::move(wanted);
}

bool DmxReceiver::read(int universe, UniverseLevels& out) const {
    const std::lock_guard lock(mutex_);
    const auto found = universes_.find(universe);
    if (found == universes_.end() || found->second.shown().state == UniverseLevels::State::silent) {
        return false;
    }
    out = found->second.shown();
    return true;
}

std::vector<DmxSourceStatus> DmxReceiver::status(double now) const {
    std::vector<DmxSourceStatus> out;
    const std::lock_guard lock(mutex_);
    for (const auto& [universe, merge] : universes_) {
        merge.appendStatus(universe, now, out);
    }
    return out;
}

std::optional<TimecodeReading> DmxReceiver::takeTimecode() {
    const std::lock_guard lock(mutex_);
    return std::exchange(timecode_, std::nullopt);
}

std::vector<DmxReceiver::Drop> DmxReceiver::takeDrops() {
    std::vector<Drop> out;
    const std::lock_guard lock(mutex_);
    for (auto& [kind, entry] : drops_) {
        out.push_back(std::move(entry));
    }
    drops_.clear();
    return out;
}

void DmxReceiver::drop(std::string_view kind, std::string details) {
    const std::lock_guard lock(mutex_);
    // Bounded: the kinds are the parsers' own few words.
    auto found = drops_.find(kind);
    if (found == drops_.end()) {
        found = drops_.emplace(std::string(kind), Drop{std::string(kind), {}, 0}).first;
    }
    found->second.details = std::move(details);
    ++found->second.count;
}

void DmxReceiver::changed() {
    if (!wakePending_.exchange(true) && wake_) {
        wake_();
    }
}

} // namespace prismeta
