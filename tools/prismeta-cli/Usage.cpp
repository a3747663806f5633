#include "CliCommand.h"

#include <cstdio>

namespace prismeta::cli {

void printUsage(bool toError) {
    static constexpr char text[] =
        "usage: prismeta-cli COMMAND ...\n"
        "\n"
        "commands:\n"
        "  validate FILE              check a project file; prints a summary line\n"
        "  normalize FILE -o OUT      load FILE and save it again as OUT\n"
        "  render PROJECT -o OUT.png [--output SELECTOR] [--size WxH] [--time SECONDS]\n"
        "                             render one frame of the canvas, or of one output's\n"
        "                             raster, its warp applied (SELECTOR: id, 0-based\n"
        "                             index or name), to a PNG\n"
        "         [--cue CUE ...] [--after SECONDS] [--at YYYY-MM-DDTHH:MM]\n"
        "                             the look after going to each CUE in order (number\n"
        "                             from 1, name or id), SECONDS after the last GO\n"
        "                             (default: after its fade); --at starts at the cue\n"
        "                             the schedule puts in force at that local time\n"
        "  cues PROJECT               list the cues: number, id, name, fade, follow, schedule\n"
        "  --help                     show this text\n"
        "  --version                  show the version\n"
        "\n"
        "exit status: 0 success, 1 project or rendering failure, 2 wrong arguments\n";
    std::fputs(text, toError ? stderr : stdout);
}

} // namespace prismeta::cli
