#pragma once

#include "cluster/BrokerAddress.h"
#include "cluster/MqttClient.h"

#include <cstdint>
#include <string>

namespace prismeta {

// What one machine knows of its way to the show's broker, from its client's
// events: for the log, the leader's Nodes panel and a follower's waiting
// line. It says at once, in one log line, that the broker cannot be reached
// and why, or that it refused this machine and what to check; again only
// when the reason changes (the client keeps trying, about every second); and
// once when the broker is reached after a failure.
//
// One thread (the owner's).
class BrokerConnection {
public:
    enum class State {
        connecting, // not reached yet
        connected,
        lost, // reached before, not now: reconnecting
    };

    // `user`: the user name this machine gives (named when refused);
    // `whileLost`: what the machine does while the broker is lost, for the
    // line that says so ("showing the last state").
    BrokerConnection(BrokerAddress broker, std::string user, std::string whileLost);

    // A connection event of the client (messages change nothing). `nowMicros`
    // is the show clock, for when the broker was lost. Whether anything
    // shown changed.
    bool handle(const MqttEvent& event, std::int64_t nowMicros);

    State state() const { return state_; }
    // Why the broker is not connected (the last failure); empty while it is.
    const std::string& reason() const { return reason_; }
    // When the connection was lost (show clock), while lost.
    std::int64_t lostAtMicros() const { return lostAt_; }
    // "host:port" ("[v6]:port").
    std::string address() const;
    // Bumped whenever state() or reason() changes.
    std::uint64_t revision() const { return revision_; }

    // Why a broker refused a connection (its CONNACK code), and what to check.
    static std::string refusal(int code, const std::string& user);

private:
    void set(State state, std::string reason);

    BrokerAddress broker_;
    std::string user_;
    std::string whileLost_;
    State state_ = State::connecting;
    std::string reason_;
    std::string logged_; // the failure last logged
    std::int64_t lostAt_ = 0;
    bool failed_ = false; // since the last connection
    std::uint64_t revision_ = 0;
};

} // namespace prismeta
