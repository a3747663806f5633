#include "CliCommand.h"

#include <cstdio>

namespace prismeta::cli {

// Rendering arrives with the renderer.
int runRender(std::span<const std::string_view>) {
    std::fputs("prismeta-cli: render is not available in this build\n", stderr);
    return exitFailure;
}

} // namespace prismeta::cli
