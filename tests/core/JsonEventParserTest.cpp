// The quick JSON parser against the JSON library: on any text the parser
// accepts, the library must accept it too and read the same values, or a
// file would load differently depending on which of the two read it. (Texts
// only the library accepts are read again by it, so there the parser may be
// stricter.)
#include "core/JsonEventParser.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <random>
#include <string>

namespace prismeta {
namespace {

// Every event as text, so two readings compare as strings.
class EventLog : public JsonEvents {
public:
    bool wantsKey() const override { return true; }
    bool wantsValue() const override { return true; }
    void null() override { log += "null;"; }
    void boolean(bool value) override { log += value ? "true;" : "false;"; }
    void integer(std::int64_t value) override { log += "i" + std::to_string(value) + ";"; }
    void unsignedInteger(std::uint64_t value) override { log += "u" + std::to_string(value) + ";"; }
    void floating(double value, std::string_view token) override {
        char bits[64];
        std::snprintf(bits, sizeof bits, "%a", value);
        log += "d" + std::string(bits) + " " + std::string(token) + ";";
    }
    void string(std::string& text) override { log += "s" + text + ";"; }
    void key(std::string& name) override { log += "k" + name + ";"; }
    void startObject() override { log += "{"; }
    void endObject() override { log += "}"; }
    void startArray() override { log += "["; }
    void endArray() override { log += "]"; }

    std::string log;
};

class LibraryLog : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return events.null(), true; }
    bool boolean(bool value) override { return events.boolean(value), true; }
    bool number_integer(number_integer_t value) override { return events.integer(value), true; }
    bool number_unsigned(number_unsigned_t value) override {
        return events.unsignedInteger(value), true;
    }
    bool number_float(number_float_t value, const string_t& token) override {
        return events.floating(value, token), true;
    }
    bool string(string_t& text) override { return events.string(text), true; }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return events.startObject(), true; }
    bool key(string_t& name) override { return events.key(name), true; }
    bool end_object() override { return events.endObject(), true; }
    bool start_array(std::size_t) override { return events.startArray(), true; }
    bool end_array() override { return events.endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

    EventLog events;
};

// Whether the parser accepts text, and when it does, that the library agrees
// on it value for value.
bool acceptsAsTheLibraryDoes(const std::string& text) {
    EventLog quick;
    const bool accepted = parseJsonEvents(text, quick);
    LibraryLog library;
    const bool libraryAccepted = nlohmann::json::sax_parse(text, &library);
    if (accepted) {
        EXPECT_TRUE(libraryAccepted) << "accepted only by the quick parser: " << text;
        EXPECT_EQ(quick.log, library.events.log) << text;
    }
    return accepted;
}

TEST(JsonEventParser, ReadsWhatTheLibraryReadsAndRefusesWhatItRefuses) {
    using namespace std::string_literals;
    const std::string accepted[] = {
        "{}",
        " [ ] ",
        "\xEF\xBB\xBF{\"a\": [1, -1, 0, -0, 1.5, 1E+2, 2e-3, true, false, null]}",
        R"(["\"\\\/\b\f\n\r\t", "\u00e9\u6771", "\ud83c\udfa5", "\u0000"])",
        "[\"\xC3\xA9\xE6\x9D\xB1\xF0\x9F\x8E\xA5\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF\"]",
        "[18446744073709551615, 18446744073709551616, -9223372036854775808]",
        "[-9223372036854775809, 123456789012345678901234567890.5, 4e-324]",
        "[1e-400, -2.5e-999, 0.000001e-330, -0.0e-99999]",
        "{\"a\": 1}\n\r\t ",
        "{\"a\": 1}\0 trailing after a NUL"s,
    };
    for (const std::string& text : accepted) {
        EXPECT_TRUE(acceptsAsTheLibraryDoes(text)) << text;
    }
    const std::string refused[] = {
        "",
        " ",
        "{",
        "[1,]",
        "{\"a\" 1}",
        "{\"a\": 1,}",
        "[01]",
        "[1.]",
        "[.5]",
        "[1e]",
        "[-]",
        "[+1]",
        "[tru]",
        "[nulll]",
        "[1 2]",
        "{} {}",
        "[\"\\x\"]",
        "[\"\\ud83c\"]",
        "[\"\\udfa5\"]",
        "[\"\\u12\"]",
        "[\"\x01\"]",
        "[\"\xC0\xAF\"]",
        "[\"\xED\xA0\x80\"]",
        "[\"\xF4\x90\x80\x80\"]",
        "[\"\xC3\"]",
        "[1e400]",
        "/* comment */ {}",
        "\xEF\xBB{}",
        "[\0]"s,
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(acceptsAsTheLibraryDoes(text)) << text;
    }
}

// Random texts near the grammar, many of them broken on purpose.
std::string randomText(std::mt19937& rng, int depth = 0) {
    static const char* atoms[] = {"0",
                                  "-0",
                                  "7",
                                  "-12",
                                  "12.5e3",
                                  "1E-2",
                                  "1e400",
                                  "1e-400",
                                  "18446744073709551616",
                                  "-9223372036854775809",
                                  "0.1",
                                  "true",
                                  "false",
                                  "null",
                                  "\"\"",
                                  "\"a b\"",
                                  "\"\\u00e9\"",
                                  "\"\\ud83c\\udfa5\"",
                                  "\"\\ud83c\"",
                                  "\"\\t\\\"\"",
                                  "\"\xC3\xA9\"",
                                  "\"\xED\xA0\x80\"",
                                  "\"\\u0000\""};
    const auto pick = rng() % (depth > 4 ? 1 : 4);
    if (pick == 0) {
        return atoms[rng() % std::size(atoms)];
    }
    std::string text = pick == 1 ? "[" : "{";
    const int count = static_cast<int>(rng() % 4);
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text += rng() % 4 ? "," : " ,\n";
        }
        if (pick == 2) {
            text += std::string(atoms[14 + rng() % 9]) + (rng() % 3 ? ":" : " :\t");
        }
        text += randomText(rng, depth + 1);
    }
    text += pick == 1 ? "]" : "}";
    return pick == 3 ? " " + text + "\r\n" : text;
}

TEST(JsonEventParser, AgreesWithTheLibraryOnRandomTexts) {
    std::mt19937 rng(20240611);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text = randomText(rng);
        for (unsigned edits = rng() % 3; edits > 0 && !text.empty(); --edits) {
            const std::size_t at = rng() % text.size();
            static const char noise[] = "[]{},:\"\\ 0-e.+uE\x01\xFF\xC3";
            switch (rng() % 3) {
            case 0:
                text[at] = noise[rng() % (sizeof noise - 1)];
                break;
            case 1:
                text.erase(at, 1);
                break;
            default:
                text.insert(at, 1, noise[rng() % (sizeof noise - 1)]);
                break;
            }
        }
        accepted += acceptsAsTheLibraryDoes(text);
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(accepted, 3000);
}

TEST(JsonEventParser, UnwantedValuesAreCheckedButNotHandedOver) {
    class Skipping : public EventLog {
    public:
        bool wantsKey() const override { return false; }
        bool wantsValue() const override { return false; }
    };
    Skipping skipping;
    EXPECT_TRUE(parseJsonEvents(R"({"a": ["text", 1, 2.5, true, null, {"b": {}}]})", skipping));
    EXPECT_EQ(skipping.log, "{[{{}}]}");
    // Checked all the same: a broken string or a number beyond a double.
    EXPECT_FALSE(parseJsonEvents(R"({"a": ["\ud800"]})", skipping));
    EXPECT_FALSE(parseJsonEvents(R"({"a": [1e999]})", skipping));
}

TEST(JsonEventParser, AReceiverThatClampsTakesNumbersTooLargeForADouble) {
    class Taking : public EventLog {
    public:
        bool takesHugeNumbers() const override { return true; }
    };
    Taking taking;
    EXPECT_TRUE(parseJsonEvents("[1e400, -0.01E+99999999999999999999, 1e-400]", taking));
    EXPECT_EQ(taking.log, "[dinf 1e400;d-inf -0.01E+99999999999999999999;d0x0p+0 1e-400;]");
    // Only values it wants: a skipped one is checked as before.
    class TakingNothing : public Taking {
    public:
        bool wantsValue() const override { return false; }
    };
    TakingNothing skipping;
    EXPECT_FALSE(parseJsonEvents("[1e400]", skipping));
}

} // namespace
} // namespace prismeta
