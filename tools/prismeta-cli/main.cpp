// prismeta-cli: headless validation, normalisation, rendering and camera
// calibration of project files. No UI toolkit; standard error carries only the system's log lines
// and usage text.
#include "CliCommand.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace cli = prismeta::cli;

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        cli::printUsage(true);
        return cli::exitUsage;
    }
    const std::string_view command = args.front();
    const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    if (command == "--help" || command == "-h" || command == "help") {
        cli::printUsage(false);
        return cli::exitOk;
    }
    if (command == "--version" || command == "-v") {
        std::fputs("prismeta-cli " PRISMETA_VERSION "\n", stdout);
        return cli::exitOk;
    }
    if (command == "validate") {
        return cli::runValidate(rest);
    }
    if (command == "normalize") {
        return cli::runNormalize(rest);
    }
    if (command == "cues") {
        return cli::runCues(rest);
    }
    if (command == "calibration-patterns") {
        return cli::runCalibrationPatterns(rest);
    }
    if (command == "calibrate") {
        return cli::runCalibrate(rest);
    }
    if (command == "render") {
        return cli::runRender(rest);
    }
    cli::printUsage(true);
    return cli::exitUsage;
}
