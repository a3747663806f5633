// Fuzz target: bytes as a run of sACN packets arriving at the receiver
// (DmxFuzz.h), applied to a small show.
#include "DmxFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prismeta::fuzz::deliverPackets(prismeta::DmxProtocol::sacn, data, size, "sacn");
    return 0;
}
