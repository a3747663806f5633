// The application's help, version and argument errors on a machine without
// a display: printed, with their exit status, before any window system is
// needed; and a show whose DMX ports another program holds, which runs on.
#include "OscTestClient.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// A UDP port on every interface held as a visualiser may hold it: bound
// without address reuse, so no one else can listen there.
struct HeldPort {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::uint16_t port = 0;
    HeldPort() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~HeldPort() { ::close(fd); }
};

std::uint16_t freeLoopbackUdpPort() {
    const HeldPort probe;
    return probe.port;
}

// `prismeta --show --dmx ADDRESS` while another program holds both the
// Art-Net and the sACN port without sharing them: one line says so, and the
// show runs on (it answers OSC) instead of ending.
TEST(AppCommandLine, AShowWhoseDmxPortsAreHeldRunsOnAndSaysSoInOneLine) {
    const HeldPort artNet;
    const HeldPort sacn;
    ASSERT_NE(artNet.port, 0);
    ASSERT_NE(sacn.port, 0);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("prismeta-dmx-held-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path project = dir / "show.prismeta.json";
    std::ofstream(project) << R"({"canvasWidth": 64, "canvasHeight": 48, "surfaces": []})";
    const std::filesystem::path errors = dir / "stderr.txt";
    const std::uint16_t osc = freeLoopbackUdpPort();

    const std::vector<std::string> args = {PRISMETA_APP,    "--show",
                                           "--osc-port",    std::to_string(osc),
                                           "--dmx",         "127.0.0.1",
                                           "--artnet-port", std::to_string(artNet.port),
                                           "--sacn-port",   std::to_string(sacn.port),
                                           project.string()};
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // Offscreen, with settings of its own; everything is made before fork.
    const std::string config = "XDG_CONFIG_HOME=" + dir.string();
    std::vector<char*> env = {const_cast<char*>("QT_QPA_PLATFORM=offscreen"),
                              const_cast<char*>(config.c_str())};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("QT_QPA_PLATFORM=") && !entry.starts_with("XDG_CONFIG_HOME=")) {
            env.push_back(*e);
        }
    }
    env.push_back(nullptr);
    const int errorFile = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(errorFile, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(errorFile, STDERR_FILENO);
        ::execve(argv[0], argv.data(), env.data());
        ::_exit(127);
    }
    ::close(errorFile);

    test::OscTestClient desk;
    bool answered = false;
    int status = 0;
    bool ended = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!answered && !ended && std::chrono::steady_clock::now() < until) {
        desk.send(osc, "/prismeta/dmx/status");
        answered = !desk.receive([](const auto& got) { return !got.empty(); },
                                 std::chrono::milliseconds(500))
                        .empty();
        ended = ::waitpid(child, &status, WNOHANG) == child;
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    std::stringstream log;
    log << std::ifstream(errors).rdbuf();
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(ended) << "it ended with status " << WEXITSTATUS(status) << ":\n" << log.str();
    EXPECT_TRUE(answered) << log.str();
    std::vector<std::string> dmxLines;
    for (std::string line; std::getline(log, line);) {
        if (line.find("DMX") != std::string::npos) {
            dmxLines.push_back(line);
        }
    }
    ASSERT_EQ(dmxLines.size(), 1u) << log.str();
    for (const std::string& port : {std::to_string(artNet.port), std::to_string(sacn.port)}) {
        EXPECT_NE(dmxLines[0].find("UDP port " + port +
                                   ": Address already in use (another program "
                                   "holds it without sharing it)"),
                  std::string::npos)
            << dmxLines[0];
    }
    EXPECT_NE(dmxLines[0].find("the show runs without DMX input"), std::string::npos);
}

} // namespace
} // namespace prismeta
