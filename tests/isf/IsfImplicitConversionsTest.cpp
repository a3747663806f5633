#include "isf/IsfImplicitConversions.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace prismeta {
namespace {

std::string converted(std::string_view code) {
    return makeConversionsExplicit(code).code;
}

TEST(IsfImplicitConversions, ReturnsOfFloatAndUintFunctionsGoThroughExactOverloads) {
    const ConvertedGlsl out = makeConversionsExplicit("float f(float x) {\n"
                                                      "    if (x < 0.0) return 0;\n"
                                                      "    return x * 2.0;\n"
                                                      "}\n"
                                                      "uint g(); int h() { return 1; }\n"
                                                      "vec2 k() { return vec2(1); }\n"
                                                      "void m() { return; }\n"
                                                      "uint g() { return(h()); }\n");
    EXPECT_EQ(out.code, "float f(float x) {\n"
                        "    if (x < 0.0) return isf_float(0);\n"
                        "    return isf_float(x * 2.0);\n"
                        "}\n"
                        "uint g(); int h() { return 1; }\n"
                        "vec2 k() { return vec2(1); }\n"
                        "void m() { return; }\n"
                        "uint g() { return isf_uint((h())); }\n");
    EXPECT_NE(out.helpers.find("float isf_float(int v)"), std::string::npos);
    EXPECT_NE(out.helpers.find("uint isf_uint(int v)"), std::string::npos);
    EXPECT_EQ(out.helpers.find("isf_float(bool"), std::string::npos) << "no conversion from bool";
}

TEST(IsfImplicitConversions, IntLiteralsBesideUnsignedOperandsBecomeUint) {
    const std::string code = "const uvec4 table[2] = uvec4[](uvec4(0x1, 2, 3, 4), uvec4(5));\n"
                             "uint count(uvec2 cell, uint row) {\n"
                             "    uint c = 0; int i = 3; float f = 2.0;\n"
                             "    if (c > 95) c = 95;\n"
                             "    c += 0x0f;\n"
                             "    uint bits = table[c].x >> (8*row) & uint(0xff);\n"
                             "    bool a = cell.x - 2 == count(cell, 1) + 1;\n"
                             "    bool b = i > 95 && c > -1 && 7-row > 0u && f * c + 2 > 0.0;\n"
                             "    int n = table.length() - 1 + (i << 2);\n"
                             "    return c;\n"
                             "}\n";
    EXPECT_EQ(converted(code), "const uvec4 table[2] = uvec4[](uvec4(0x1, 2, 3, 4), uvec4(5));\n"
                               "uint count(uvec2 cell, uint row) {\n"
                               "    uint c = 0u; int i = 3; float f = 2.0;\n"
                               "    if (c > 95u) c = 95u;\n"
                               "    c += 0x0fu;\n"
                               "    uint bits = isf_uint(table[c].x >> (8u*row) & uint(0xff));\n"
                               "    bool a = cell.x - 2u == count(cell, 1) + 1u;\n"
                               "    bool b = i > 95 && c > -1 && 7u-row > 0u && f * c + 2u > 0.0;\n"
                               "    int n = table.length() - 1 + (i << 2);\n"
                               "    return c;\n"
                               "}\n");
}

TEST(IsfImplicitConversions, IntExpressionsStoredInUintVariablesAreConverted) {
    const ConvertedGlsl out = makeConversionsExplicit(
        "uint a = 1, b = ivec2(4).y, c = uint(2.5);\n"
        "void main() { int i = 2; uint d; d = i * 2; d = a; d = c + a; }\n");
    EXPECT_EQ(out.code, "uint a = 1u, b = isf_uint(ivec2(4).y), c = uint(2.5);\n"
                        "void main() { int i = 2; uint d; d = isf_uint(i * 2); d = a; d = "
                        "isf_uint(c + a); }\n");
}

TEST(IsfImplicitConversions, LeavesCommentsDirectivesAndAmbiguousNamesAlone) {
    // A name declared uint in one place and int in another is unknown.
    const std::string code = "#define LIMIT(x) (x > 3)\n"
                             "// uint c = 0; c > 1\n"
                             "/* float f() { return 1; } */\n"
                             "void a() { uint n = 2u; n = n + 1u; }\n"
                             "void b() { int n = 0; n = n + 1; }\n"
                             "vec4 c() { return vec4(1.0); }\n";
    const ConvertedGlsl out = makeConversionsExplicit(code);
    EXPECT_EQ(out.code, code);
    EXPECT_EQ(out.helpers, "");
}

TEST(IsfImplicitConversions, HostileTextOnlyEverGainsInsertionsAndTakesLinearTime) {
    // Whatever the text, the rewrite only inserts: the text is a subsequence
    // of the result, with its line breaks. Each cut of a sample through every
    // rewrite, unbalanced brackets, and files at the size limit shaped to
    // make a scan that restarts at every token quadratic (they would time out).
    const std::string sample = "uint f(uvec2 c, uint r) { uint a = 0, b = ivec2(1).x; a = b = "
                               "r + 1; if (c.x > 2) return (a); return -1; }\n"
                               "float g(int i) { return i; } #define X 1\n(((]]} uint z = 3 + ";
    std::vector<std::string> texts;
    for (std::size_t cut = 0; cut <= sample.size(); ++cut) {
        texts.push_back(sample.substr(0, cut));
    }
    const auto repeated = [](const std::string& head, const std::string& unit) {
        std::string text = head;
        while (text.size() < (std::size_t{1} << 20)) {
            text += unit;
        }
        return text;
    };
    texts.push_back(repeated("uint a; void main() { a = ", "a = "));
    texts.push_back(repeated("float f() { ", "return "));
    texts.push_back(repeated("", "uint a x "));
    texts.push_back(repeated("", "float a float[1] "));
    std::string structs;
    for (int n = 0; structs.size() < (std::size_t{1} << 20); ++n) {
        structs += "struct s" + std::to_string(n) + " ";
    }
    texts.push_back(structs);
    texts.push_back(repeated("uint u; bool b = ", "u.x.y.z + 1 + "));
    for (const std::string& text : texts) {
        const std::string out = makeConversionsExplicit(text).code;
        std::size_t at = 0;
        for (char c : out) {
            at += at < text.size() && text[at] == c;
        }
        EXPECT_EQ(at, text.size()) << text.substr(0, 80);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'),
                  std::count(text.begin(), text.end(), '\n'));
    }
}

} // namespace
} // namespace prismeta
