#pragma once

#include "core/Result.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace prismeta {

// What a machine shows the broker: a user name and password, and for TLS the
// certificate authority that signed the broker's certificate and, where the
// broker asks for one, this machine's own certificate and key. Empty: not
// used. These belong to the machine, never to a project file.
struct BrokerCredentials {
    std::string user;
    std::string password;
    std::string cafile;
    std::string certfile;
    std::string keyfile;

    bool usesTls() const { return !cafile.empty(); }
    friend bool operator==(const BrokerCredentials&, const BrokerCredentials&) = default;
};

// The text of a credentials file: `key=value` lines with the keys user,
// password, cafile, certfile and keyfile. Blank lines and lines starting with
// '#' are skipped; spaces around the key and the value are trimmed (a
// password keeps its inner spaces). Fails, naming the line, on a line without
// '=', an unknown key, a certfile without a keyfile (or the other way round),
// or a certfile without a cafile.
Result<BrokerCredentials> parseBrokerCredentials(std::string_view text);

// Reads a credentials file. Refused ("readable or writable by other users
// than its owner (mode 0644); chmod 600 it") when the group or others may
// read or change it, and when it is not a regular file or is over 64 KiB.
Result<BrokerCredentials> readBrokerCredentials(const std::filesystem::path& file);

} // namespace prismeta
