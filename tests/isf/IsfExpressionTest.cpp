#include "isf/IsfExpression.h"

#include <gtest/gtest.h>

#include <string>

namespace prismeta {
namespace {

class Sizes : public IsfVariables {
public:
    std::optional<double> value(std::string_view name) const override {
        if (name == "WIDTH") {
            return 1920.0;
        }
        if (name == "HEIGHT") {
            return 1080.0;
        }
        if (name == "scale") {
            return 0.25;
        }
        return std::nullopt;
    }
};

double eval(const char* text) {
    const Result<double> result = evaluateIsfExpression(text, Sizes());
    EXPECT_TRUE(result) << text << ": " << result.error();
    return result ? result.value() : -1.0;
}

std::string error(const char* text) {
    const Result<double> result = evaluateIsfExpression(text, Sizes());
    EXPECT_FALSE(result) << text;
    return result ? std::string() : result.error();
}

TEST(IsfExpression, SizesFollowArithmeticPrecedenceAndFunctions) {
    EXPECT_EQ(eval("$WIDTH/2"), 960.0);
    EXPECT_EQ(eval("$WIDTH * $scale + 1"), 481.0);
    EXPECT_EQ(eval("-($HEIGHT - 80) / 10"), -100.0);
    EXPECT_EQ(eval("2 + 3 * 4 - 6 / 3"), 12.0);
    EXPECT_EQ(eval("$WIDTH % 7"), 1920.0 - 7 * 274);
    EXPECT_EQ(eval("floor($HEIGHT / 7)"), 154.0);
    EXPECT_EQ(eval("max(min($WIDTH, 4096), 16)"), 1920.0);
    EXPECT_EQ(eval("clamp(pow(2, 12) + sqrt(16), 0, 5000)"), 4100.0);
    EXPECT_EQ(eval("$WIDTH > $HEIGHT ? $WIDTH : $HEIGHT"), 1920.0);
    EXPECT_EQ(eval("1.5e2"), 150.0);
    EXPECT_EQ(eval(" ( ( 3 ) ) "), 3.0);
}

TEST(IsfExpression, BadExpressionsFailWithAReason) {
    EXPECT_NE(error("$WIDTH / 0").find("division by zero"), std::string::npos);
    EXPECT_NE(error("$WIDTH % ($HEIGHT - 1080)").find("division by zero"), std::string::npos);
    EXPECT_NE(error("$DEPTH").find("unknown variable"), std::string::npos);
    EXPECT_NE(error("cos(1)").find("unknown function"), std::string::npos);
    EXPECT_NE(error("min(1)").find("wrong number"), std::string::npos);
    EXPECT_NE(error("pow(10, 400)").find("not a finite"), std::string::npos);
    EXPECT_NE(error("(1 + 2").find("')' expected"), std::string::npos);
    EXPECT_NE(error("1 +").find("value expected"), std::string::npos);
    EXPECT_NE(error("2 3").find("unexpected text"), std::string::npos);
    EXPECT_NE(error("").find("value expected"), std::string::npos);
    EXPECT_NE(error("sqrt(-1)").find("not a finite"), std::string::npos);
    const std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
    EXPECT_NE(error(deep.c_str()).find("nested too deeply"), std::string::npos);
    const std::string negations = std::string(10000, '-') + "1";
    EXPECT_NE(error(negations.c_str()).find("nested too deeply"), std::string::npos);
}

} // namespace
} // namespace prismeta
