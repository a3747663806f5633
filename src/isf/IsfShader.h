#pragma once

#include "core/Result.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// What an ISF file declares in the JSON comment at its top: its inputs, its
// render passes and the images it imports, with the GLSL that follows. A
// plain value made by parseIsfShader; any thread.

enum class IsfInputType {
    event,
    boolean,
    longInt,
    floating,
    point2D,
    color,
    image,
    audio,
    audioFFT
};

// The header's text form ("point2D"), and the type for a text form.
std::string_view isfInputTypeText(IsfInputType type);
bool isImageLike(IsfInputType type); // image, audio and audioFFT are sampled as textures

// One declared input. Values of every numeric type live in four numbers:
// a float or long in [0], a point in [0..1], a colour in [0..3]; a bool or
// event as 0 or 1. MIN and MAX are absent unless declared (hasRange).
struct IsfInput {
    std::string name;
    IsfInputType type = IsfInputType::floating;
    std::string label;
    std::array<double, 4> defaultValue{};
    std::array<double, 4> minimum{};
    std::array<double, 4> maximum{};
    std::array<double, 4> identity{};
    bool hasMinimum = false;
    bool hasMaximum = false;
    bool hasIdentity = false;
    // A long's menu: the values and their labels (labels may be fewer).
    std::vector<int> values;
    std::vector<std::string> labels;
};

// One render pass. An empty target renders the shader's picture; a named
// one renders into a buffer the later passes (and, when persistent, the
// next frame) sample by that name. Width and height are expressions over
// $WIDTH, $HEIGHT and the inputs ($name); empty means the render size.
struct IsfPass {
    std::string target;
    bool persistent = false;
    bool floatingPoint = false;
    std::string width;
    std::string height;
};

// An image the shader brings along, sampled under `name`; the path is as
// written, relative to the shader's folder.
struct IsfImportedImage {
    std::string name;
    std::string path;
};

struct IsfShader {
    std::string version;
    std::string description;
    std::string credit;
    std::vector<std::string> categories;
    std::vector<IsfInput> inputs;
    std::vector<IsfPass> passes; // never empty: a shader without PASSES has one plain pass
    std::vector<IsfImportedImage> imported;
    std::string code;      // the GLSL after the header comment
    int codeFirstLine = 1; // the file's line number of code's first line

    const IsfInput* input(std::string_view name) const;
};

// The header limits: a file is a shader's text, not a data store.
inline constexpr std::size_t maxIsfSourceBytes = std::size_t{1} << 20;
inline constexpr std::size_t maxIsfInputs = 256;
inline constexpr std::size_t maxIsfPasses = 32;
inline constexpr std::size_t maxIsfImported = 32;

// Reads the header and splits off the code. Fails, in plain words, on a
// file without a leading JSON comment, JSON that does not parse or is not an
// object, an input or pass that is not an object, an unknown input type, a
// name that is not a GLSL identifier (names become declarations in the
// generated code) or is given twice, and anything over the limits above.
// Values of the wrong shape (a DEFAULT that is a string, say) read as the
// type's own default instead.
Result<IsfShader> parseIsfShader(std::string_view source);

// Whether text is a name the generated GLSL may declare: a letter or '_'
// then letters, digits and '_', at most 64 bytes, not starting with "gl_"
// and without "__".
bool isIsfIdentifier(std::string_view text);

} // namespace prismeta
