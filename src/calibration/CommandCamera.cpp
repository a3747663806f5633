#include "calibration/CameraSource.h"
#include "calibration/ImageFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace prismeta::calibration {

namespace fs = std::filesystem;

namespace {

// 'text' for the shell, any byte allowed.
std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string lastLine(const fs::path& log) {
    std::ifstream in(log);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            last = line;
        }
    }
    if (last.size() > 200) {
        last = last.substr(0, 200) + "...";
    }
    return last;
}

// The extension written straight after the first %f ("%f.jpg": ".jpg"), or
// nothing.
std::string extensionAfterPercentF(const std::string& command) {
    for (std::size_t i = 0; i + 1 < command.size(); ++i) {
        if (command[i] == '%' && command[i + 1] == '%') {
            ++i;
        } else if (command[i] == '%' && command[i + 1] == 'f') {
            std::size_t end = i + 2;
            if (end >= command.size() || command[end] != '.') {
                return {};
            }
            ++end;
            while (end < command.size() && end - i < 12 &&
                   std::isalnum(static_cast<unsigned char>(command[end])) != 0) {
                ++end;
            }
            return end > i + 3 ? command.substr(i + 2, end - i - 2) : std::string();
        }
    }
    return {};
}

// " (it wrote NAME instead)": the files other than the log that the command
// left next to the one it was asked for.
std::string strayFiles(const fs::path& expected) {
    std::string names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(expected.parent_path(), ignored)) {
        const std::string name = entry.path().filename().string();
        if (name != "command.log") {
            names += (names.empty() ? "" : ", ") + name;
        }
    }
    return names.empty() ? std::string() : " (it wrote " + names + " instead)";
}

class CommandCamera final : public CameraSource {
public:
    CommandCamera(std::string command, std::chrono::milliseconds timeout)
        : command_(std::move(command)), timeout_(timeout) {
        std::string pattern = (fs::temp_directory_path() / "prismeta-capture-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
    }
    ~CommandCamera() override {
        std::error_code ignored;
        if (!folder_.empty()) {
            fs::remove_all(folder_, ignored);
        }
    }

    Result<GreyImage> capture(const std::string& patternName,
                              const std::atomic<bool>& cancel) override {
        if (folder_.empty()) {
            return Result<GreyImage>::failure("no temporary folder for the pictures");
        }
        // The picture keeps the pattern's stem; its extension is the one the
        // command writes after %f ("%f.jpg"), else .png, so that tools that
        // choose the format by the name (ImageMagick, ffmpeg) write one
        // Prismeta reads. The file is read by its content, whatever its name.
        const std::string extension = extensionAfterPercentF(command_);
        const fs::path file = folder_ / (fs::path(patternName).stem().string() +
                                         (extension.empty() ? std::string(".png") : extension));
        const fs::path log = folder_ / "command.log";
        // Nothing left from an earlier picture, so that what is there now
        // is what this command wrote.
        std::error_code ignored;
        std::vector<fs::path> earlier;
        for (const auto& entry : fs::directory_iterator(folder_, ignored)) {
            earlier.push_back(entry.path());
        }
        for (const fs::path& path : earlier) {
            fs::remove_all(path, ignored);
        }
        std::string line;
        for (std::size_t i = 0; i < command_.size(); ++i) {
            if (command_[i] == '%' && i + 1 < command_.size() && command_[i + 1] == 'f') {
                line += shellQuoted(file.string());
                ++i;
                if (!extension.empty() &&
                    command_.compare(i + 1, extension.size(), extension) == 0) {
                    i += extension.size();
                }
            } else if (command_[i] == '%' && i + 1 < command_.size() && command_[i + 1] == '%') {
                line += '%';
                ++i;
            } else {
                line += command_[i];
            }
        }
        line = "exec >" + shellQuoted(log.string()) + " 2>&1 </dev/null; " + line;

        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A group of its own, so that a timeout or a cancel ends everything it started.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, "/bin/sh", nullptr, &attributes,
                                        const_cast<char* const*>(argv), environ);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) {
            return Result<GreyImage>::failure("the capture command could not be started");
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout_;
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                break;
            }
            const bool late = std::chrono::steady_clock::now() > deadline;
            if (done < 0 || late || cancel.load()) {
                ::kill(-pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                if (cancel.load()) {
                    return Result<GreyImage>::failure("cancelled");
                }
                return Result<GreyImage>::failure("the capture command took longer than " +
                                                  std::to_string(timeout_.count() / 1000) + " s");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            const std::string why = lastLine(log);
            return Result<GreyImage>::failure(
                "the capture command failed" +
                (WIFEXITED(status) ? " with exit status " + std::to_string(WEXITSTATUS(status))
                                   : std::string(" (killed by a signal)")) +
                (why.empty() ? std::string() : ": " + why));
        }
        auto picture = readGreyImage(file.string());
        if (!picture) {
            const std::string why = whyPictureUnreadable(file.string());
            return Result<GreyImage>::failure(why == "no file"
                                                  ? "the capture command wrote no file at " +
                                                        file.string() + strayFiles(file)
                                                  : "the capture command wrote " + why);
        }
        fs::remove(file, ignored);
        return picture;
    }
    std::string description() const override { return "command: " + command_; }

private:
    std::string command_;
    std::chrono::milliseconds timeout_;
    fs::path folder_;
};

} // namespace

std::unique_ptr<CameraSource> makeCommandCamera(std::string command,
                                                std::chrono::milliseconds timeout) {
    return std::make_unique<CommandCamera>(std::move(command), timeout);
}

} // namespace prismeta::calibration
