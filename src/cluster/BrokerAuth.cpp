#include "cluster/BrokerAuth.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace prismeta {

namespace {

constexpr std::size_t maxFileSize = 64 * 1024;

std::string_view trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

Result<BrokerCredentials> parseBrokerCredentials(std::string_view text) {
    BrokerCredentials credentials;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line =
            trimmed(end == std::string_view::npos ? text : text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (equals == std::string_view::npos) {
            return Result<BrokerCredentials>::failure(where + "expected key=value");
        }
        const std::string_view key = trimmed(line.substr(0, equals));
        std::string value(trimmed(line.substr(equals + 1)));
        if (key == "user") {
            credentials.user = std::move(value);
        } else if (key == "password") {
            credentials.password = std::move(value);
        } else if (key == "cafile") {
            credentials.cafile = std::move(value);
        } else if (key == "certfile") {
            credentials.certfile = std::move(value);
        } else if (key == "keyfile") {
            credentials.keyfile = std::move(value);
        } else {
            return Result<BrokerCredentials>::failure(
                where + "unknown key \"" + std::string(key) +
                "\" (user, password, cafile, certfile or keyfile)");
        }
    }
    if (credentials.certfile.empty() != credentials.keyfile.empty()) {
        return Result<BrokerCredentials>::failure("certfile and keyfile go together");
    }
    if (!credentials.certfile.empty() && credentials.cafile.empty()) {
        return Result<BrokerCredentials>::failure("a certfile needs a cafile");
    }
    return credentials;
}

Result<BrokerCredentials> readBrokerCredentials(const std::filesystem::path& file) {
    const std::string name = file.string();
    // O_NONBLOCK: a FIFO in its place must not block the start of the show.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Result<BrokerCredentials>::failure(name + ": " + std::strerror(errno));
    }
    struct stat info {};
    std::string text;
    std::string problem;
    if (::fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else if ((info.st_mode & (S_IRGRP | S_IROTH | S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        problem = std::string("readable or writable by other users than its owner (mode ") + mode +
                  "); chmod 600 it";
    } else if (static_cast<std::size_t>(info.st_size) > maxFileSize) {
        problem = "larger than 64 KiB";
    } else {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        text.resize(done);
    }
    ::close(fd);
    if (!problem.empty()) {
        return Result<BrokerCredentials>::failure(name + ": " + problem);
    }
    Result<BrokerCredentials> parsed = parseBrokerCredentials(text);
    if (!parsed) {
        return Result<BrokerCredentials>::failure(name + ": " + parsed.error());
    }
    return parsed;
}

} // namespace prismeta
