#pragma once

#include "control/OscMessage.h"
#include "core/Cue.h"
#include "core/OutputConfig.h"
#include "core/SurfaceList.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The shape of the address space: "/prismeta/surface/<target>/<field>",
// "/prismeta/output/<target>/<field>" and the commands under "/prismeta".
inline constexpr std::string_view oscRoot = "prismeta";
inline constexpr std::size_t maxAddressParts = 8;
// Names in list answers are cut to this many bytes (at a character
// boundary), so that every answer fits one packet.
inline constexpr std::size_t maxListedNameBytes = 1024;

// The components of an address ("/a/b" gives "a", "b"); nothing when it does
// not start with '/', has an empty component or more than maxAddressParts.
std::optional<std::vector<std::string_view>> splitAddress(std::string_view address);

// "/prismeta/<kind>/<target>/<path>", kind "surface" or "output".
std::string recordAddress(std::string_view kind, std::string_view target, std::string_view path);

// The answer to "/prismeta/list/<kind>s": "/prismeta/list/<kind>s/count i N",
// then one "/prismeta/list/<kind>s sis" (id, index, name) per record, in list
// order. Destinations are left empty.
std::vector<OscOutgoing> surfaceListMessages(const SurfaceList& surfaces);
std::vector<OscOutgoing> outputListMessages(const std::vector<OutputConfig>& outputs);
std::vector<OscOutgoing> cueListMessages(const std::vector<Cue>& cues);

// "/prismeta/cue/current sis": the live cue's id, 0-based position and name;
// "", -1, "" when no cue is live.
OscOutgoing cueCurrentMessage(const std::vector<Cue>& cues, std::optional<std::size_t> live);

} // namespace prismeta
