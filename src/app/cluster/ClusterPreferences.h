#pragma once

#include "cluster/BrokerAuth.h"
#include "core/Result.h"

#include <optional>

class QSettings;

namespace prismeta {

// What this machine keeps in its preferences about shows on many machines:
// its credentials for the broker (keys cluster/user, cluster/password,
// cluster/cafile, cluster/certfile, cluster/keyfile; never in a project), and
// how far ahead of now a GO or a blackout is set (cluster/goAheadMilliseconds,
// 0..2000, 100 unless set), so every machine starts it on the same frame.
struct ClusterPreferences {
    static constexpr int defaultGoAheadMilliseconds = 100;
    static constexpr int maxGoAheadMilliseconds = 2000;

    // None when no credential key is set.
    std::optional<BrokerCredentials> credentials;
    int goAheadMilliseconds = defaultGoAheadMilliseconds;
    // The password is kept in a settings file that other users may read.
    bool passwordExposed = false;
};

// Fails, saying why, on credentials that cannot work: a certificate without
// its key (or the other way round), or either without a certificate
// authority. An unreadable or out-of-range lead time reads as the default.
Result<ClusterPreferences> readClusterPreferences(const QSettings& settings);

} // namespace prismeta
