#pragma once

#include <string>
#include <vector>

namespace prismeta::testing {

struct ToolRun {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), collecting standard output and
// standard error, and waits for it.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args);

} // namespace prismeta::testing
