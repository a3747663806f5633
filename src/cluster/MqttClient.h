#pragma once

#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/RealTimeClock.h"
#include "core/Result.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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
    // After a failed attempt or a lost connection the next attempt waits
    // this long, doubling up to the maximum: a show network's broker
    // restarts in about a second, and every machine must be following again
    // soon after. Host names are looked up again at every attempt.
    std::chrono::milliseconds reconnectDelay{250};
    std::chrono::milliseconds reconnectDelayMax{1000};
    // An attempt the broker has not answered (CONNACK) within this long is
    // given up and made again: a host that drops packets would otherwise
    // hold it for the system's TCP timeout (minutes).
    std::chrono::milliseconds connectTimeout{5000};
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
        disconnected, // the connection is gone (reason); reconnection runs by itself
        unreachable,  // an attempt to connect failed (reason); tried again
        refused,      // the broker refused us: code is the CONNACK reason
        message,
    };
    Kind kind = Kind::message;
    int code = 0;
    // Why a connection failed or was lost, in words ("connection refused").
    std::string reason;
    std::string topic;
    std::string payload;
    bool retained = false;
    // The options' clock when the message arrived; 0 without one.
    std::int64_t receivedMicros = 0;
};

// A connection to an MQTT broker (MQTT 3.1.1, libmosquitto) with its own
// network thread, which connects, keeps the connection alive, reconnects with
// back-off after any loss or failed attempt (for as long as it runs: a broker
// not up yet, a host name that does not resolve yet, a refusal) and
// subscribes again to every pattern given. Each failed attempt is an event
// with its reason, so the owner can say at once why the broker is not there.
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

    // Starts connecting (in the background: a broker that is not up yet, or
    // whose name does not resolve yet, is tried again and again). Fails on
    // options the library refuses (an unreadable certificate file, say).
    Status start();
    // Disconnects cleanly (the broker discards the will) and stops.
    void stop();

    // Queued for sending; false when the library refused it (not connected
    // is not a refusal: QoS 1 messages are kept and sent on reconnection).
    bool publish(std::string_view topic, std::string_view payload, bool retain, int qos = 1);
    // Subscribes now and after every reconnection.
    bool subscribe(std::string_view pattern, int qos = 1);
    // Undoes subscribe(pattern).
    void unsubscribe(std::string_view pattern);
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
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    void push(MqttEvent event);
    // The network thread: attempts, connections and the waits between them.
    void run();
    // Runs one connection from its attempt until it ends; why it ended
    // (empty when stopped).
    std::string runConnection();
    // Waits up to `delay`, or until stop(); whether to go on.
    bool pause(std::chrono::milliseconds delay);

    MqttOptions options_;
    mosquitto* handle_ = nullptr;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    // Set by the connect callback during an attempt (network thread only).
    bool refusedNow_ = false;
    std::deque<MqttEvent> events_;
    std::size_t queuedBytes_ = 0;
    Drops drops_;
    bool connected_ = false;
    std::vector<std::pair<std::string, int>> subscriptions_;
};

} // namespace prismeta
