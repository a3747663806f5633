#include "cluster/BrokerConnection.h"

#include "core/Log.h"

#include <utility>

namespace prismeta {

BrokerConnection::BrokerConnection(BrokerAddress broker, std::string user, std::string whileLost)
    : broker_(std::move(broker)), user_(std::move(user)), whileLost_(std::move(whileLost)) {}

std::string BrokerConnection::address() const {
    const bool v6 = broker_.host.find(':') != std::string::npos;
    return (v6 ? "[" + broker_.host + "]" : broker_.host) + ":" + std::to_string(broker_.port);
}

std::string BrokerConnection::refusal(int code, const std::string& user) {
    const std::string named = user.empty() ? "no user name given" : "user \"" + user + "\"";
    const std::string credentials =
        "check the user name and password this machine gives (--broker-auth file, or the "
        "cluster/user and cluster/password preferences) against the broker's password_file";
    switch (code) {
    case 1:
        return "it does not accept MQTT 3.1.1; check the broker's version and its listener's "
               "protocol";
    case 2:
        return "it does not accept this machine's client id; check that no other client uses it";
    case 3:
        return "it is unavailable; check the broker's own log";
    case 4:
        return "wrong user name or password (" + named + "); " + credentials;
    case 5:
        return "not authorised: wrong user name or password (" + named + "); " + credentials;
    default:
        return "code " + std::to_string(code) + "; check the broker's own log";
    }
}

bool BrokerConnection::handle(const MqttEvent& event, std::int64_t nowMicros) {
    const std::uint64_t before = revision_;
    const std::string where = "the broker " + address();
    switch (event.kind) {
    case MqttEvent::Kind::connected:
        if (state_ == State::lost) {
            logLine("Prismeta: reached " + where + " again");
        } else if (failed_) {
            logLine("Prismeta: reached " + where);
        }
        failed_ = false;
        logged_.clear();
        lostAt_ = 0;
        set(State::connected, {});
        break;
    case MqttEvent::Kind::disconnected:
        logLine("Prismeta: lost " + where + " (" + event.reason + "); " + whileLost_ +
                ", reconnecting");
        logged_ = event.reason;
        failed_ = true;
        lostAt_ = nowMicros;
        set(State::lost, event.reason);
        break;
    case MqttEvent::Kind::unreachable:
        if (event.reason != logged_) {
            logLine("Prismeta: cannot reach " + where + ": " + event.reason +
                    "; trying again until it answers");
            logged_ = event.reason;
        }
        failed_ = true;
        set(state_ == State::connected ? State::lost : state_, event.reason);
        break;
    case MqttEvent::Kind::refused: {
        const std::string why = refusal(event.code, user_);
        if (why != logged_) {
            logLine("Prismeta: " + where + " refused this machine's connection: " + why);
            logged_ = why;
        }
        failed_ = true;
        const std::size_t end = why.find(';');
        set(state_ == State::connected ? State::lost : state_, "refused: " + why.substr(0, end));
        break;
    }
    case MqttEvent::Kind::message:
        break;
    }
    return revision_ != before;
}

void BrokerConnection::set(State state, std::string reason) {
    if (state != state_ || reason != reason_) {
        state_ = state;
        reason_ = std::move(reason);
        ++revision_;
    }
}

} // namespace prismeta
