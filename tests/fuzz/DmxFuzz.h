#pragma once

// The Art-Net and sACN fuzz targets' common part: bytes as a run of packets
// (each after a two-byte big-endian length; what is left over is one last
// packet) delivered to a receiver that is not on the network, its universes
// applied to a small show after each one. Whatever arrives, the show keeps
// its surfaces, and every live value stays within its range.

#include "dmx/UniverseMerge.h"

#include <cstddef>
#include <cstdint>

namespace prismeta::fuzz {

void deliverPackets(DmxProtocol protocol, const std::uint8_t* data, std::size_t size,
                    const char* target);

} // namespace prismeta::fuzz
