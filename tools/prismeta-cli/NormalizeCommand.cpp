#include "CliCommand.h"

#include "core/ProjectModel.h"

#include <optional>
#include <string>

namespace prismeta::cli {

int runNormalize(std::span<const std::string_view> args) {
    std::optional<std::string> input;
    std::optional<std::string> output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && !output) {
            output = std::string(args[++i]);
        } else if (!args[i].empty() && args[i].front() != '-' && !input) {
            input = std::string(args[i]);
        } else {
            printUsage(true);
            return exitUsage;
        }
    }
    if (!input || !output || output->empty()) {
        printUsage(true);
        return exitUsage;
    }
    ProjectModel model;
    if (!model.load(*input)) {
        return exitFailure;
    }
    if (!model.save(*output)) {
        return exitFailure;
    }
    return exitOk;
}

} // namespace prismeta::cli
