#include "OutputArguments.h"

#include "core/Uuid.h"

#include <charconv>
#include <limits>

namespace prismeta::cli {

namespace {

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::pair<int, int>> parseSize(std::string_view text) {
    const auto number = [](std::string_view digits) -> std::optional<int> {
        if (!allDigits(digits)) {
            return std::nullopt;
        }
        int value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec == std::errc::result_out_of_range) {
            return std::numeric_limits<int>::max();
        }
        if (ec != std::errc() || value < 1) {
            return std::nullopt;
        }
        return value;
    };
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    const auto width = number(text.substr(0, x));
    const auto height = number(text.substr(x + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return std::pair{*width, *height};
}

std::optional<std::size_t> selectOutput(const std::vector<OutputConfig>& outputs,
                                        std::string_view selector) {
    if (const auto id = Uuid::parse(selector)) {
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            if (outputs[i].id == *id) {
                return i;
            }
        }
    }
    if (allDigits(selector)) {
        std::size_t index = 0;
        const auto [end, ec] =
            std::from_chars(selector.data(), selector.data() + selector.size(), index);
        if (ec == std::errc() && index < outputs.size()) {
            return index;
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].name == selector) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace prismeta::cli
