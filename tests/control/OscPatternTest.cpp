#include "control/OscPattern.h"

#include <gtest/gtest.h>

#include <string>

namespace prismeta {
namespace {

bool matches(std::string_view pattern, std::string_view name) {
    const std::optional<OscPattern> compiled = OscPattern::compile(pattern);
    EXPECT_TRUE(compiled) << pattern;
    return compiled && compiled->matches(name);
}

TEST(OscPattern, WildcardsMatchWholeNames) {
    EXPECT_TRUE(matches("wall*", "wall"));
    EXPECT_TRUE(matches("wall*", "wall left"));
    EXPECT_FALSE(matches("wall*", "the wall"));
    EXPECT_TRUE(matches("*left", "wall left"));
    EXPECT_TRUE(matches("w*l*t", "wall left"));
    EXPECT_FALSE(matches("w*l*x", "wall left"));
    EXPECT_TRUE(matches("*", ""));
    EXPECT_TRUE(matches("wall?", "wall2"));
    EXPECT_FALSE(matches("wall?", "wall"));
    EXPECT_FALSE(matches("wall?", "wall22"));
    EXPECT_TRUE(matches("plain", "plain"));
    EXPECT_FALSE(matches("plain", "Plain"));
}

TEST(OscPattern, SetsRangesAndChoices) {
    EXPECT_TRUE(matches("wall[12]", "wall1"));
    EXPECT_FALSE(matches("wall[12]", "wall3"));
    EXPECT_TRUE(matches("[a-c]x", "bx"));
    EXPECT_FALSE(matches("[a-c]x", "dx"));
    EXPECT_TRUE(matches("[!a-c]x", "dx"));
    EXPECT_FALSE(matches("[!a-c]x", "ax"));
    EXPECT_TRUE(matches("[a-]", "-")); // a trailing '-' stands for itself
    EXPECT_TRUE(matches("{wall,floor} 1", "floor 1"));
    EXPECT_TRUE(matches("{wall,floor} 1", "wall 1"));
    EXPECT_FALSE(matches("{wall,floor} 1", "ceiling 1"));
    EXPECT_TRUE(matches("{,x}y", "y")); // an empty choice
    EXPECT_TRUE(matches("{ab,abc}d", "abcd"));
}

TEST(OscPattern, MalformedAndOverlongPatternsAreRefused) {
    for (std::string_view bad : {"[abc", "{a,b", "a]", "b}", "{a,{b}}", "{a*,b}"}) {
        EXPECT_FALSE(OscPattern::compile(bad)) << bad;
    }
    EXPECT_FALSE(OscPattern::compile(std::string(OscPattern::maxLength + 1, 'a')));
    EXPECT_TRUE(OscPattern::compile(std::string(OscPattern::maxLength, '*')));
    EXPECT_TRUE(OscPattern::hasWildcards("a{b}"));
    EXPECT_FALSE(OscPattern::hasWildcards("plain name"));
}

TEST(OscPattern, HostilePatternsAndNamesStayCheap) {
    // Backtracking would take 2^100 steps here; the matcher takes 100 x 1000.
    std::string pattern;
    for (int k = 0; k < 100; ++k) {
        pattern += "*a";
    }
    pattern += "b";
    const std::optional<OscPattern> compiled = OscPattern::compile(pattern);
    ASSERT_TRUE(compiled);
    EXPECT_FALSE(compiled->matches(std::string(1000, 'a')));
    EXPECT_TRUE(compiled->matches(std::string(1000, 'a') + "b"));

    // Names beyond the limit are reached by id or index, never by pattern.
    const std::string huge(OscPattern::maxNameLength + 1, 'x');
    EXPECT_FALSE(OscPattern::compile("*")->matches(huge));
    EXPECT_TRUE(OscPattern::compile("*")->matches(huge.substr(1)));
}

} // namespace
} // namespace prismeta
