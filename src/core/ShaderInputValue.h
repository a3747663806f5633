#pragma once

#include <array>
#include <map>
#include <string>

namespace prismeta {

// One value a surface holds for an input of its shader, as the project file
// stores it: a flag (bool, event), a number (float, long), two or four
// numbers (point2D, color) or a text (the file of an image input). The value
// is kept whatever the shader declares, so a shader that is missing or was
// changed loses nothing; the renderer uses a value only where its shape fits
// the input, and the input's default otherwise.
struct ShaderInputValue {
    enum class Kind { flag, number, numbers, text };
    Kind kind = Kind::number;
    bool flag = false;
    std::array<double, 4> numbers{}; // number: [0]; numbers: the first count
    int count = 1;
    std::string text;

    static ShaderInputValue ofFlag(bool value);
    static ShaderInputValue ofNumber(double value);
    static ShaderInputValue ofPoint(double x, double y);
    static ShaderInputValue ofColor(double r, double g, double b, double a);
    static ShaderInputValue ofText(std::string value);

    friend bool operator==(const ShaderInputValue&, const ShaderInputValue&) = default;
};

// A surface's input values by input name; only those that differ from the
// shader's defaults are set (the editors remove a value set back to its
// default), so the file holds what the user chose.
using ShaderInputs = std::map<std::string, ShaderInputValue, std::less<>>;

} // namespace prismeta
