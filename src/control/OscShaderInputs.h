#pragma once

#include "control/OscMessage.h"
#include "core/Result.h"
#include "core/ShaderInputValue.h"
#include "isf/IsfShader.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// The inputs of shader surfaces over OSC ("/prismeta/surface/<target>/
// input/<name>", docs/osc.md): each takes the arguments of its input's type
// as the shader's header declares it, within the header's range.

// The headers of the shaders surfaces show, each read once per file and
// modification time (a stat per message, a read of at most
// maxIsfSourceBytes when the file is new or changed). Interface thread only.
class ShaderHeaders {
public:
    // The header of the file at path; null with the reason when it cannot be
    // read or parsed.
    std::shared_ptr<const IsfShader> find(const std::string& path, std::string& why);

    static constexpr std::size_t maxEntries = 64; // forgotten all at once beyond this

private:
    struct Entry {
        std::filesystem::file_time_type modified;
        std::shared_ptr<const IsfShader> shader;
        std::string error;
    };
    std::map<std::string, Entry, std::less<>> entries_;
};

// The value an edit stores: none where it is the input's default (the
// surface then drops the key). Numbers are any of i, h, f, d; a bool also
// takes T or F; an image takes a text (empty: no file). Fails, in words, on
// arguments of another type or count, a long's value outside its menu, and
// an event (events fire for one frame and are not stored).
Result<std::optional<ShaderInputValue>> shaderInputEdit(const IsfInput& input,
                                                        const OscMessage& message);

// Whether a message to an event input fires it: any but a release (F, or a
// single number that is 0), so a button sending 1 then 0 fires once.
bool shaderEventFires(const OscMessage& message);

// What a query answers: the input's current value in its own type.
OscArguments shaderInputAnswer(const IsfInput& input, const ShaderInputs& stored);

} // namespace prismeta
