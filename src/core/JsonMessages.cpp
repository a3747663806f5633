#include "core/JsonMessages.h"

#include <charconv>
#include <cmath>

namespace prismeta {

std::string describeNumber(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string withoutExceptionTag(const char* what) {
    std::string text(what);
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("] ");
        if (close != std::string::npos) {
            text.erase(0, close + 2);
        }
    }
    return text;
}

std::string lineAndColumn(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string describeOutOfRange(std::string_view bytes, const std::string& message) {
    const auto open = message.find('\'');
    const auto close = message.rfind('\'');
    if (open != std::string::npos && close != std::string::npos && close > open + 1) {
        const std::string token = message.substr(open + 1, close - open - 1);
        std::size_t at = bytes.find(token);
        while (at != std::string_view::npos) {
            const bool startsToken =
                at == 0 ||
                std::string_view("-+.0123456789eE").find(bytes[at - 1]) == std::string_view::npos;
            if (startsToken) {
                return "not valid JSON at " + lineAndColumn(bytes, at) + ": the number " + token +
                       " is out of range";
            }
            at = bytes.find(token, at + 1);
        }
    }
    return "not valid JSON: " + message;
}

} // namespace prismeta
