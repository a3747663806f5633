#include "control/OscMessage.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace prismeta {

std::optional<std::size_t> addressIndex(std::string_view text) {
    std::size_t value = 0;
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool OscArgument::isNumber() const {
    return tag == 'i' || tag == 'h' || tag == 'f' || tag == 'd';
}

std::optional<double> OscArgument::number() const {
    if (!isNumber()) {
        return std::nullopt;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return static_cast<double>(*integer);
    }
    if (const auto* real = std::get_if<double>(&value)) {
        return *real;
    }
    return std::nullopt;
}

const std::string* OscArgument::string() const {
    if (tag != 's' && tag != 'S') {
        return nullptr;
    }
    return std::get_if<std::string>(&value);
}

std::string typeTags(const OscArguments& arguments) {
    std::string tags;
    tags.reserve(arguments.size());
    for (const OscArgument& argument : arguments) {
        tags.push_back(argument.tag);
    }
    return tags;
}

std::string OscEndpoint::text() const {
    // IPv6 hosts are bracketed so the port stays readable.
    if (host.find(':') != std::string::npos) {
        return "[" + host + "]:" + std::to_string(port);
    }
    return host + ":" + std::to_string(port);
}

bool OscMessage::isQuery() const {
    if (arguments.size() != 1) {
        return false;
    }
    const std::string* text = arguments.front().string();
    return text != nullptr && *text == "?";
}

bool OscMessage::isEdit() const {
    if (arguments.empty() || isQuery()) {
        return false;
    }
    const std::string_view path = address;
    return path != "/prismeta/query" && path != "/prismeta/subscribe" &&
           path != "/prismeta/unsubscribe";
}

} // namespace prismeta
