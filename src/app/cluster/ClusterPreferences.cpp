#include "app/cluster/ClusterPreferences.h"

#include <QSettings>

#include <sys/stat.h>

namespace prismeta {

Result<ClusterPreferences> readClusterPreferences(const QSettings& settings) {
    ClusterPreferences preferences;
    BrokerCredentials credentials;
    bool any = false;
    const auto text = [&](const char* key, std::string& into) {
        const QString name = QStringLiteral("cluster/") + QLatin1String(key);
        if (settings.contains(name)) {
            into = settings.value(name).toString().toStdString();
            any = true;
        }
    };
    text("user", credentials.user);
    text("password", credentials.password);
    text("cafile", credentials.cafile);
    text("certfile", credentials.certfile);
    text("keyfile", credentials.keyfile);
    if (credentials.certfile.empty() != credentials.keyfile.empty()) {
        return Result<ClusterPreferences>::failure(
            "the preferences give a certfile without a keyfile, or a keyfile without a certfile");
    }
    if (!credentials.certfile.empty() && credentials.cafile.empty()) {
        return Result<ClusterPreferences>::failure(
            "the preferences give a certfile without a cafile");
    }
    if (!credentials.password.empty()) {
        struct stat status {};
        const QByteArray file = settings.fileName().toLocal8Bit();
        preferences.passwordExposed =
            ::stat(file.constData(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0;
    }
    if (any) {
        preferences.credentials = std::move(credentials);
    }
    bool ok = false;
    const int ahead = settings.value(QStringLiteral("cluster/goAheadMilliseconds")).toInt(&ok);
    if (ok && ahead >= 0 && ahead <= ClusterPreferences::maxGoAheadMilliseconds) {
        preferences.goAheadMilliseconds = ahead;
    }
    return preferences;
}

} // namespace prismeta
