#pragma once

#include "isf/IsfShader.h"
#include "isf/IsfTranslation.h"

#include <string>
#include <vector>

namespace prismeta {

// One ISF shader compiled and linked into a GL program, with the locations
// of its uniforms found once. Compiling may take the driver a while: where
// it compiles in the background (GL_KHR_parallel_shader_compile) start()
// returns at once and finished() is polled frame by frame, so a window never
// waits for it; elsewhere start() compiles before it returns.
//
// Render thread only, its GL context current for every call and the
// destructor (which deletes the program).
class IsfProgram {
public:
    IsfProgram() = default;
    ~IsfProgram();
    IsfProgram(const IsfProgram&) = delete;
    IsfProgram& operator=(const IsfProgram&) = delete;

    // Hands both stages to the driver.
    void start(const IsfGlsl& glsl);
    // Whether the driver is done (successfully or not); never blocks where
    // the driver compiles in the background.
    bool finished() const;
    // After finished(): empty when the program linked, else the compiler's
    // (or linker's) first error line. Looks up the uniforms on success.
    std::string link(const IsfShader& shader);

    unsigned program() const { return program_; }

    // Uniform locations (-1 where the compiler dropped an unused one).
    int passIndex = -1;
    int renderSize = -1;
    int time = -1;
    int timeDelta = -1;
    int date = -1;
    int frameIndex = -1;
    std::vector<int> inputs;        // by input, as declared
    std::vector<int> inputFlips;    // image inputs' isf_flip_ flags
    std::vector<int> importedFlips; // by imported image
    // The texture unit of every sampler: image inputs first (as declared),
    // then imported images, then pass targets (by first pass naming them).
    std::vector<std::string> samplerNames;

private:
    unsigned vertex_ = 0;
    unsigned fragment_ = 0;
    unsigned program_ = 0;
    bool parallel_ = false;
};

// The first line of an info log that says something ("0:12(3): error: ...").
std::string firstErrorLine(const std::string& infoLog);

} // namespace prismeta
