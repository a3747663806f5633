#include "control/OscAddresses.h"

#include "core/Utf8Prefix.h"

#include <algorithm>
#include <limits>

namespace prismeta {

namespace {

template <typename Records>
std::vector<OscOutgoing> listMessages(std::string_view plural, const Records& records) {
    const std::string address = "/prismeta/list/" + std::string(plural);
    std::vector<OscOutgoing> messages;
    messages.reserve(records.size() + 1);
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(records.size(), std::numeric_limits<std::int32_t>::max()));
    // Filled in place: at -O3 (the package's Release build) GCC 12 called
    // the empty endpoint of a braced temporary maybe uninitialised.
    OscOutgoing& total = messages.emplace_back();
    total.address = address + "/count";
    total.arguments = {OscArgument::int32(count)};
    std::int32_t index = 0;
    for (const auto& record : records) {
        if (index == count) {
            break;
        }
        OscOutgoing& entry = messages.emplace_back();
        entry.address = address;
        entry.arguments = {
            OscArgument::text(record.id.text()), OscArgument::int32(index),
            OscArgument::text(std::string(utf8Prefix(record.name, maxListedNameBytes)))};
        ++index;
    }
    return messages;
}

} // namespace

std::optional<std::vector<std::string_view>> splitAddress(std::string_view address) {
    if (address.empty() || address.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 1;
    while (true) {
        const std::size_t slash = address.find('/', start);
        const std::string_view part = address.substr(start, slash - start);
        if (part.empty() || parts.size() == maxAddressParts) {
            return std::nullopt;
        }
        parts.push_back(part);
        if (slash == std::string_view::npos) {
            return parts;
        }
        start = slash + 1;
    }
}

std::string recordAddress(std::string_view kind, std::string_view target, std::string_view path) {
    std::string address = "/prismeta/";
    address += kind;
    address += '/';
    address += target;
    address += '/';
    address += path;
    return address;
}

std::vector<OscOutgoing> surfaceListMessages(const SurfaceList& surfaces) {
    return listMessages("surfaces", surfaces);
}

std::vector<OscOutgoing> outputListMessages(const std::vector<OutputConfig>& outputs) {
    return listMessages("outputs", outputs);
}

std::vector<OscOutgoing> cueListMessages(const std::vector<Cue>& cues) {
    return listMessages("cues", cues);
}

OscOutgoing cueCurrentMessage(const std::vector<Cue>& cues, std::optional<std::size_t> live) {
    OscOutgoing message{{}, "/prismeta/cue/current", {}};
    if (live && *live < cues.size()) {
        const Cue& cue = cues[*live];
        message.arguments = {
            OscArgument::text(cue.id.text()),
            OscArgument::int32(static_cast<std::int32_t>(
                std::min<std::size_t>(*live, std::numeric_limits<std::int32_t>::max()))),
            OscArgument::text(std::string(utf8Prefix(cue.name, maxListedNameBytes)))};
    } else {
        message.arguments = {OscArgument::text(""), OscArgument::int32(-1), OscArgument::text("")};
    }
    return message;
}

} // namespace prismeta
