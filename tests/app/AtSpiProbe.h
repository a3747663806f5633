#pragma once

// A client of the accessibility bus (AT-SPI over D-Bus), as a screen reader
// is one: it finds this process's application on the bus and reads the tree
// of accessible objects it exposes. The application answers on this same
// interface thread, so every call is made asynchronously and the event loop
// turns while it waits.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QList>
#include <QString>
#include <QTimer>

#include <optional>

// One accessible object: the bus name of its application and its path.
struct AtSpiRef {
    QString service;
    QString path;
    bool operator==(const AtSpiRef&) const = default;
};
Q_DECLARE_METATYPE(AtSpiRef)
Q_DECLARE_METATYPE(QList<AtSpiRef>)

inline QDBusArgument& operator<<(QDBusArgument& argument, const AtSpiRef& ref) {
    argument.beginStructure();
    argument << ref.service << QDBusObjectPath(ref.path);
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, AtSpiRef& ref) {
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> ref.service >> path;
    argument.endStructure();
    ref.path = path.path();
    return argument;
}

// The events the application announces on the bus, as they arrive.
class AtSpiEventLog : public QObject {
    Q_OBJECT

public:
    struct Event {
        QString interface;
        QString member;
        QString detail;
        AtSpiRef source;
    };
    QList<Event> events;

public slots:
    void received(const QDBusMessage& message) {
        const QList<QVariant> arguments = message.arguments();
        events.push_back({message.interface(),
                          message.member(),
                          arguments.isEmpty() ? QString() : arguments.front().toString(),
                          {message.service(), message.path()}});
    }
};

class AtSpiProbe {
public:
    static constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";
    // Bits of the first word of an object's state set.
    static constexpr unsigned stateVisible = 1u << 30;
    static constexpr unsigned stateShowing = 1u << 25;

    AtSpiProbe() {
        qDBusRegisterMetaType<AtSpiRef>();
        qDBusRegisterMetaType<QList<AtSpiRef>>();
    }

    // Connects to the accessibility bus whose address the session bus gives.
    bool connect() {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected()) {
            error_ = QStringLiteral("no session bus");
            return false;
        }
        const QDBusMessage reply =
            call(session, QDBusMessage::createMethodCall(
                              QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                              QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            error_ = QStringLiteral("no accessibility bus: ") + reply.errorMessage();
            return false;
        }
        bus_ = QDBusConnection::connectToBus(reply.arguments().front().toString(),
                                             QStringLiteral("prismeta-atspi-probe"));
        if (!bus_->isConnected()) {
            error_ = QStringLiteral("cannot connect to the accessibility bus");
            return false;
        }
        return true;
    }

    const QString& error() const { return error_; }

    // Asks for every event, as a screen reader does: the application's
    // bridge then works out, for each event, which object it concerns. The
    // events arrive in `log`.
    bool listenToEverything(AtSpiEventLog& log) {
        for (const char* interface : {"org.a11y.atspi.Event.Object", "org.a11y.atspi.Event.Window",
                                      "org.a11y.atspi.Event.Focus"}) {
            bus_->connect(QString(), QString(), QString::fromLatin1(interface), QString(), &log,
                          SLOT(received(QDBusMessage)));
        }
        for (const char* event : {"object:", "window:", "focus:"}) {
            QDBusMessage registration = QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.atspi.Registry"),
                QStringLiteral("/org/a11y/atspi/registry"),
                QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
            registration << QString::fromLatin1(event) << QStringList() << QString();
            if (call(*bus_, registration).type() != QDBusMessage::ReplyMessage) {
                return false;
            }
        }
        return true;
    }

    // The root of this process's application, once it has registered.
    std::optional<AtSpiRef> application() {
        const AtSpiRef desktop{QStringLiteral("org.a11y.atspi.Registry"),
                               QStringLiteral("/org/a11y/atspi/accessible/root")};
        for (const AtSpiRef& app : children(desktop)) {
            QDBusMessage pid = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("GetConnectionUnixProcessID"));
            pid << app.service;
            const QDBusMessage reply = call(*bus_, pid);
            if (!reply.arguments().isEmpty() &&
                reply.arguments().front().toLongLong() == QCoreApplication::applicationPid()) {
                return app;
            }
        }
        return std::nullopt;
    }

    int childCount(const AtSpiRef& ref) { return property(ref, "ChildCount").toInt(); }

    std::optional<AtSpiRef> childAt(const AtSpiRef& ref, int index) {
        QDBusMessage message = QDBusMessage::createMethodCall(ref.service, ref.path,
                                                              QLatin1String(accessibleInterface),
                                                              QStringLiteral("GetChildAtIndex"));
        message << index;
        const QDBusMessage reply = call(*bus_, message);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        return qdbus_cast<AtSpiRef>(reply.arguments().front());
    }

    std::optional<AtSpiRef> parent(const AtSpiRef& ref) {
        const QVariant value = property(ref, "Parent");
        if (!value.isValid()) {
            return std::nullopt;
        }
        return qdbus_cast<AtSpiRef>(value.value<QDBusArgument>());
    }

    QList<AtSpiRef> children(const AtSpiRef& ref) {
        const QDBusMessage reply = method(ref, "GetChildren");
        if (reply.arguments().isEmpty()) {
            return {};
        }
        return qdbus_cast<QList<AtSpiRef>>(reply.arguments().front());
    }

    QString name(const AtSpiRef& ref) { return property(ref, "Name").toString(); }

    QString roleName(const AtSpiRef& ref) {
        const QDBusMessage reply = method(ref, "GetRoleName");
        return reply.arguments().isEmpty() ? QString() : reply.arguments().front().toString();
    }

    // The first word of the state set.
    unsigned states(const AtSpiRef& ref) {
        const QDBusMessage reply = method(ref, "GetState");
        if (reply.arguments().isEmpty()) {
            return 0;
        }
        const auto words = qdbus_cast<QList<uint>>(reply.arguments().front());
        return words.isEmpty() ? 0 : words.front();
    }

private:
    QDBusMessage method(const AtSpiRef& ref, const char* name) {
        return call(*bus_, QDBusMessage::createMethodCall(ref.service, ref.path,
                                                          QLatin1String(accessibleInterface),
                                                          QLatin1String(name)));
    }

    QVariant property(const AtSpiRef& ref, const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            ref.service, ref.path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << QLatin1String(accessibleInterface) << QLatin1String(name);
        const QDBusMessage reply = call(*bus_, get);
        if (reply.arguments().isEmpty()) {
            return {};
        }
        return qdbus_cast<QDBusVariant>(reply.arguments().front()).variant();
    }

    // Sends the call and turns the event loop until the answer comes.
    static QDBusMessage call(const QDBusConnection& connection, const QDBusMessage& message) {
        QDBusPendingCall pending = connection.asyncCall(message, 10000);
        QDBusPendingCallWatcher watcher(pending);
        if (!watcher.isFinished()) {
            QEventLoop loop;
            QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop,
                             &QEventLoop::quit);
            loop.exec();
        }
        return pending.reply();
    }

    std::optional<QDBusConnection> bus_;
    QString error_;
};
