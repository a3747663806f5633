// The application's help, version and argument errors on a machine without
// a display: printed, with their exit status, before any window system is
// needed.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace prismeta {
namespace {

using testing::runTool;
using testing::ToolRun;

TEST(AppCommandLine, HelpVersionAndWrongArgumentsNeedNoDisplay) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        ::unsetenv(name);
    }
    for (const char* option : {"--help", "-h", "--help-all"}) {
        const ToolRun help = runTool(PRISMETA_APP, {option});
        EXPECT_EQ(help.exitCode, 0) << option << ": " << help.err;
        EXPECT_NE(help.out.find("--show"), std::string::npos) << option;
    }
    const ToolRun version = runTool(PRISMETA_APP, {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, "Prismeta " PRISMETA_VERSION "\n");

    const ToolRun wrong = runTool(PRISMETA_APP, {"--no-such-option"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("no-such-option"), std::string::npos) << wrong.err;
}

} // namespace
} // namespace prismeta
