#pragma once

#include "core/OutputConfig.h"
#include "core/OutputDisplay.h"
#include "placement/Screen.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace prismeta {

enum class ScreenMatchKind { name, geometry };

struct ScreenMatch {
    std::size_t index = 0; // into the screens searched
    ScreenMatchKind kind = ScreenMatchKind::name;
    friend bool operator==(const ScreenMatch&, const ScreenMatch&) = default;
};

// The screen that a display stands for among `screens`:
// 1. the screen with the display's name; of several with that name, the one
//    with the recorded geometry, else the first;
// 2. failing that, the first screen with the recorded geometry whose name is
//    not in `claimed` (the screen names other outputs' displays ask for), so
//    that a renamed connector is found again without taking a projector that
//    belongs to another output;
// 3. otherwise none: the screen is not connected (yet).
std::optional<ScreenMatch> findScreen(const OutputDisplay& display, std::span<const Screen> screens,
                                      std::span<const std::string> claimed = {});

// The screen names of the outputs' usable displays, in list order.
std::vector<std::string> claimedScreenNames(const std::vector<OutputConfig>& outputs);

} // namespace prismeta
