// The writer's texts must be the JSON library's own: each byte escaped as it
// escapes it, and exactly the byte sequences it refuses refused, since saved
// files keep the bytes they always had.
#include "core/JsonTextWriter.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace prismeta {
namespace {

using json = nlohmann::json;

// What the library writes for text, or nothing where it refuses it.
std::optional<std::string> libraryText(const std::string& text) {
    try {
        return json(text).dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const json::type_error&) {
        return std::nullopt;
    }
}

std::optional<std::string> writtenText(const std::string& text) {
    std::string out;
    JsonTextWriter writer(out);
    return writer.text(text) ? std::optional<std::string>(out) : std::nullopt;
}

TEST(JsonTextWriter, EveryByteAndByteSequenceIsWrittenOrRefusedAsTheLibraryDoes) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string text = "a" + std::string(1, static_cast<char>(byte)) + "b";
        EXPECT_EQ(writtenText(text), libraryText(text)) << "byte " << byte;
    }
    // Every lead byte with trails at the edges of the ranges that decide
    // overlong forms, surrogates and the end of Unicode.
    const int seconds[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    const int others[] = {0x41, 0x80, 0xBF, 0xC0};
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (const int second : seconds) {
            for (const int third : others) {
                for (const int fourth : others) {
                    const std::string text{static_cast<char>(lead), static_cast<char>(second),
                                           static_cast<char>(third), static_cast<char>(fourth)};
                    ASSERT_EQ(writtenText(text), libraryText(text))
                        << std::hex << lead << " " << second << " " << third << " " << fourth;
                }
            }
        }
    }
}

} // namespace
} // namespace prismeta
