#pragma once

#include <span>
#include <string>
#include <string_view>

namespace prismeta::cli {

// Exit codes of every command.
inline constexpr int exitOk = 0;
inline constexpr int exitFailure = 1; // the project or the renderer failed
inline constexpr int exitUsage = 2;   // wrong arguments

// Each command gets the arguments after its name. A command that rejects its
// arguments prints the usage on standard error and returns exitUsage.
int runValidate(std::span<const std::string_view> args);
int runNormalize(std::span<const std::string_view> args);
int runRender(std::span<const std::string_view> args);
int runCues(std::span<const std::string_view> args);
int runCalibrationPatterns(std::span<const std::string_view> args);
int runCalibrate(std::span<const std::string_view> args);

// Says why on standard error ("prismeta-cli: why") and returns exitFailure.
int failure(const std::string& why);

// Prints the usage text to standard output (help) or standard error (misuse).
void printUsage(bool toError);

} // namespace prismeta::cli
