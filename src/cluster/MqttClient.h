#pragma once

#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/RealTimeClock.h"
#include "core/Result.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace prismeta {

// The message a client leaves with the broker, sent for it when it vanishes
// without saying goodbye (killed, cable pulled, keep-alive missed).
struct MqttWill {
    std::string topic;
    std::string payload;
    bool retain = true;
};

struct MqttOptions {
    // Unique on the broker: a second client with the same id pushes the
    // first off. Empty: a random one.
    std::string clientId;
    BrokerAddress broker;
    BrokerCredentials credentials;
    std::optional<MqttWill> will;
    // The broker sends the will after 1.5 keep-alive periods of silence.
    // libmosquitto takes 5 s at least; shorter values are raised to it.
    int keepAliveSeconds = 5;
    // Reconnection waits this long, doubling up to the maximum.
    int reconnectDelaySeconds = 1;
    int reconnectDelayMaxSeconds = 8;
    // Larger messages are not queued (counted as oversized instead).
    std::size_t maxPayload = 16 * 1024 * 1024;
    // When set, each message is stamped with this clock as it arrives (on
    // the network thread), for round trips that must not count the time a
    // message waited for the owner's next frame. Must outlive the client.
    const RealTimeClock* clock = nullptr;
    // Messages wait for the owner thread up to this many bytes in all;
    // beyond it new ones are dropped and counted.
    std::size_t maxQueuedBytes = 512 * 1024 * 1024;
};

// What the network thread saw, handed to the owner's thread in order.
struct MqttEvent {
    enum class Kind {
        connected,    // the broker accepted us (after every reconnection too)
        disconnected, // the connection is gone; reconnection runs by itself
        refused,      // the broker refused us: code is the CONNACK reason
        message,
    };
    Kind kind = Kind::message;
    int code = 0;
    std::string topic;
    std::string payload;
    bool retained = false;
    // The options' clock when the message arrived; 0 without one.
    std::int64_t receivedMicros = 0;
};

// A connection to an MQTT broker (MQTT 3.1.1, libmosquitto) with its own
// network thread, which connects, keeps the connection alive, reconnects with
// back-off after any loss and subscribes again to every pattern given.
//
// Threads: every member may be called from one owner thread (usually the
// interface thread); the network thread only fills the event queue that
// takeEvents empties. Publishing never blocks on the network.
class MqttClient {
public:
    explicit MqttClient(MqttOptions options);
    // Disconnects cleanly, as stop() does.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts connecting (in the background: a broker that is not up yet is
    // tried again and again). Fails on options the library refuses (an
    // unreadable certificate file, say).
    Status start();
    // Disconnects cleanly (the broker discards the will) and stops.
    void stop();

    // Queued for sending; false when the library refused it (not connected
    // is not a refusal: QoS 1 messages are kept and sent on reconnection).
    bool publish(std::string_view topic, std::string_view payload, bool retain, int qos = 1);
    // Subscribes now and after every reconnection.
    bool subscribe(std::string_view pattern, int qos = 1);
    // Subscribes to the patterns again, so the broker sends the retained
    // messages once more (after events were dropped, say).
    void resubscribe();

    // Everything that happened since the last call, in order.
    void takeEvents(std::vector<MqttEvent>& into);
    bool connected() const;
    const std::string& clientId() const { return options_.clientId; }

    struct Drops {
        std::uint64_t oversized = 0;
        std::uint64_t overflow = 0;
    };
    // Messages not queued since the last call, and why.
    Drops takeDrops();

private:
    static void onConnect(mosquitto*, void* self, int code);
    static void onDisconnect(mosquitto*, void* self, int code);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    void push(MqttEvent event);

    MqttOptions options_;
    mosquitto* handle_ = nullptr;
    bool running_ = false;

    mutable std::mutex mutex_;
    std::deque<MqttEvent> events_;
    std::size_t queuedBytes_ = 0;
    Drops drops_;
    bool connected_ = false;
    std::vector<std::pair<std::string, int>> subscriptions_;
};

} // namespace prismeta
