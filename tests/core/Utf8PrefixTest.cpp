#include "core/Utf8Prefix.h"

#include <gtest/gtest.h>

#include <string>

namespace prismeta {
namespace {

TEST(Utf8Prefix, CutsOnlyBetweenCharacters) {
    // "a" then "€" (three bytes) then "b": 5 bytes.
    const std::string text = "a\xE2\x82\xAC"
                             "b";
    EXPECT_EQ(utf8Prefix(text, 10), text);           // short enough: whole
    EXPECT_EQ(utf8Prefix(text, 5), text);            // exactly the limit
    EXPECT_EQ(utf8Prefix(text, 4), "a\xE2\x82\xAC"); // ends after the euro sign
    EXPECT_EQ(utf8Prefix(text, 3), "a");             // inside it: back to its start
    EXPECT_EQ(utf8Prefix(text, 2), "a");
    EXPECT_EQ(utf8Prefix(text, 0), "");
    // Nothing but continuation bytes (damaged text): nothing is kept rather
    // than a stray piece of a character.
    EXPECT_EQ(utf8Prefix("\x82\x82\x82", 2), "");
}

} // namespace
} // namespace prismeta
