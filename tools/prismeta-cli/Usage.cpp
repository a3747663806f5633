#include "CliCommand.h"

#include <cstdio>

namespace prismeta::cli {

int failure(const std::string& why) {
    std::fprintf(stderr, "prismeta-cli: %s\n", why.c_str());
    return exitFailure;
}

void printUsage(bool toError) {
    static constexpr char text[] =
        "usage: prismeta-cli COMMAND ...\n"
        "\n"
        "commands:\n"
        "  validate FILE              check a project file; prints a summary line, then\n"
        "                             one line for each live source (none is opened)\n"
        "  normalize FILE -o OUT      load FILE and save it again as OUT\n"
        "  render PROJECT -o OUT.png [--output SELECTOR] [--size WxH] [--time SECONDS]\n"
        "                             render one frame of the canvas, or of one output's\n"
        "                             raster, its warp applied (SELECTOR: id, 0-based\n"
        "                             index or name), to a PNG. Without --size: the\n"
        "                             canvas at its size; an output at its raster, the\n"
        "                             size of its display in the file (an unwarped one\n"
        "                             letterboxed as its window shows it), or at its\n"
        "                             crop's size when it has no display (a warped one\n"
        "                             then needs --size); --size: the picture stretched\n"
        "                             to WxH\n"
        "         [--cue CUE ...] [--after SECONDS] [--at YYYY-MM-DDTHH:MM]\n"
        "                             the look after going to each CUE in order (number\n"
        "                             from 1, name or id), SECONDS after the last GO\n"
        "                             (default: after its fade); --at starts at the cue\n"
        "                             the schedule puts in force at that local time\n"
        "         [--live-wait SECONDS]\n"
        "                             how long live sources may take to give their first\n"
        "                             picture (default 5); one without shows the placeholder;\n"
        "                             one whose port another program holds fails (exit 1)\n"
        "  cues PROJECT               list the cues: number, id, name, fade, follow, schedule\n"
        "  calibration-patterns PROJECT -o DIR [--output SELECTOR ...] [--size WxH]\n"
        "                             write each output's calibration patterns and\n"
        "                             DIR/patterns.json (--size: the outputs' raster\n"
        "                             where their screen is not known)\n"
        "  calibrate PROJECT --captures DIR -o OUT [--region X1,Y1,...,X4,Y4]\n"
        "         [--mesh COLSxROWS]  decode the camera's pictures of the patterns (named\n"
        "                             as in DIR/patterns.json), fit each output's crop,\n"
        "                             warp and blend map, write OUT and its blend maps\n"
        "                             beside it; --region: the canvas corners in camera\n"
        "                             pixels (top-left, top-right, bottom-right,\n"
        "                             bottom-left)\n"
        "  --help                     show this text\n"
        "  --version                  show the version\n"
        "\n"
        "exit status: 0 success, 1 project, rendering or calibration failure, 2 wrong\n"
        "arguments\n";
    std::fputs(text, toError ? stderr : stdout);
}

} // namespace prismeta::cli
