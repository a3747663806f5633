#include "cluster/MqttClient.h"

#include "core/Uuid.h"

#include <mosquitto.h>

#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace prismeta {

namespace {

// The largest payload MQTT can carry (its remaining-length field).
constexpr std::size_t maxMqttPayload = 268'435'455;
// How long a network-thread wait lasts at most, so stop() is seen soon.
constexpr int loopMillis = 100;
// How long a clean goodbye may take to leave before the thread ends anyway.
constexpr auto goodbyeTime = std::chrono::seconds(1);

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string libraryError(int code) {
    if (code == MOSQ_ERR_ERRNO) {
        return mosquitto_strerror(code) + std::string(" (system error)");
    }
    return mosquitto_strerror(code);
}

// A library or system text in the middle of a sentence.
std::string lowered(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
        (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z'))) {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    while (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string systemError(int error) {
    char buffer[128];
    return lowered(strerror_r(error, buffer, sizeof buffer));
}

// The library says only "lookup error": ask the resolver why.
std::string lookupFailure(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int code = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    const int error = errno;
    if (found) {
        ::freeaddrinfo(found);
    }
    const std::string why = code == 0            ? "the lookup failed"
                            : code == EAI_SYSTEM ? systemError(error)
                                                 : lowered(::gai_strerror(code));
    return "the host name \"" + host + "\" does not resolve (" + why + ")";
}

// Why an attempt failed or a connection ended, from the library's code and
// errno as they were right after the call that failed.
std::string connectionFailure(int code, int error, const BrokerAddress& broker) {
    switch (code) {
    case MOSQ_ERR_EAI:
        return lookupFailure(broker.host);
    case MOSQ_ERR_ERRNO:
        if (error == ECONNREFUSED) {
            return "connection refused: nothing listens on port " + std::to_string(broker.port);
        }
        return error != 0 ? systemError(error) : "a system error";
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return "the connection was closed";
    case MOSQ_ERR_KEEPALIVE:
        return "no answer within the keep-alive time";
    case MOSQ_ERR_TLS:
        return "the TLS handshake failed (check the cafile, certfile and keyfile against the "
               "broker's certificates)";
    case MOSQ_ERR_PROTOCOL:
        return "the other end does not speak MQTT";
    default:
        return lowered(mosquitto_strerror(code));
    }
}

} // namespace

MqttClient::MqttClient(MqttOptions options) : options_(std::move(options)) {
    initialiseLibrary();
    if (options_.clientId.empty()) {
        options_.clientId = "prismeta-" + Uuid::random().text().substr(0, 18);
    }
}

MqttClient::~MqttClient() {
    stop();
}

Status MqttClient::start() {
    if (handle_) {
        return Status::success();
    }
    handle_ = mosquitto_new(options_.clientId.c_str(), true, this);
    if (!handle_) {
        return Status::failure("could not make an MQTT client (out of memory)");
    }
    const auto fail = [this](std::string text) {
        mosquitto_destroy(handle_);
        handle_ = nullptr;
        return Status::failure(std::move(text));
    };
    // Our own network thread (run()) rather than the library's: it gives up
    // after a failed host lookup, and says nothing of failed attempts.
    mosquitto_threaded_set(handle_, true);
    mosquitto_connect_callback_set(handle_, &MqttClient::onConnect);
    mosquitto_message_callback_set(handle_, &MqttClient::onMessage);
    const BrokerCredentials& credentials = options_.credentials;
    if (!credentials.user.empty()) {
        const int rc = mosquitto_username_pw_set(
            handle_, credentials.user.c_str(),
            credentials.password.empty() ? nullptr : credentials.password.c_str());
        if (rc != MOSQ_ERR_SUCCESS) {
            return fail("broker user name refused: " + libraryError(rc));
        }
    }
    if (credentials.usesTls()) {
        const auto orNull = [](const std::string& text) {
            return text.empty() ? nullptr : text.c_str();
        };
        const int rc =
            mosquitto_tls_set(handle_, credentials.cafile.c_str(), nullptr,
                              orNull(credentials.certfile), orNull(credentials.keyfile), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            return fail("TLS files refused: " + libraryError(rc));
        }
    }
    if (options_.will) {
        const MqttWill& will = *options_.will;
        const int rc =
            mosquitto_will_set(handle_, will.topic.c_str(), static_cast<int>(will.payload.size()),
                               will.payload.data(), 1, will.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            return fail("last will refused: " + libraryError(rc));
        }
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
    return Status::success();
}

void MqttClient::stop() {
    if (!handle_) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    mosquitto_destroy(handle_);
    handle_ = nullptr;
    const std::lock_guard lock(mutex_);
    connected_ = false;
}

bool MqttClient::publish(std::string_view topic, std::string_view payload, bool retain, int qos) {
    if (!handle_ || payload.size() > maxMqttPayload) {
        return false;
    }
    const std::string name(topic);
    const int rc = mosquitto_publish(handle_, nullptr, name.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN;
}

bool MqttClient::subscribe(std::string_view pattern, int qos) {
    std::string name(pattern);
    bool isConnected = false;
    {
        const std::lock_guard lock(mutex_);
        const auto same = [&](const auto& entry) { return entry.first == name; };
        if (std::none_of(subscriptions_.begin(), subscriptions_.end(), same)) {
            subscriptions_.emplace_back(name, qos);
        }
        isConnected = connected_;
    }
    if (handle_ && isConnected) {
        return mosquitto_subscribe(handle_, nullptr, name.c_str(), qos) == MOSQ_ERR_SUCCESS;
    }
    return true;
}

void MqttClient::unsubscribe(std::string_view pattern) {
    const std::string name(pattern);
    bool isConnected = false;
    {
        const std::lock_guard lock(mutex_);
        std::erase_if(subscriptions_, [&](const auto& entry) { return entry.first == name; });
        isConnected = connected_;
    }
    if (handle_ && isConnected) {
        mosquitto_unsubscribe(handle_, nullptr, name.c_str());
    }
}

void MqttClient::resubscribe() {
    std::vector<std::pair<std::string, int>> patterns;
    {
        const std::lock_guard lock(mutex_);
        if (!connected_) {
            return; // the reconnection subscribes anyway
        }
        patterns = subscriptions_;
    }
    for (const auto& [pattern, qos] : patterns) {
        mosquitto_unsubscribe(handle_, nullptr, pattern.c_str());
        mosquitto_subscribe(handle_, nullptr, pattern.c_str(), qos);
    }
}

void MqttClient::takeEvents(std::vector<MqttEvent>& into) {
    const std::lock_guard lock(mutex_);
    while (!events_.empty()) {
        queuedBytes_ -= events_.front().topic.size() + events_.front().payload.size();
        into.push_back(std::move(events_.front()));
        events_.pop_front();
    }
}

bool MqttClient::connected() const {
    const std::lock_guard lock(mutex_);
    return connected_;
}

MqttClient::Drops MqttClient::takeDrops() {
    const std::lock_guard lock(mutex_);
    return std::exchange(drops_, Drops{});
}

void MqttClient::push(MqttEvent event) {
    const std::size_t bytes = event.topic.size() + event.payload.size();
    const std::lock_guard lock(mutex_);
    if (event.kind == MqttEvent::Kind::message && queuedBytes_ + bytes > options_.maxQueuedBytes) {
        ++drops_.overflow;
        return;
    }
    queuedBytes_ += bytes;
    events_.push_back(std::move(event));
}

// ------------------------------------------------- the network thread

void MqttClient::run() {
    std::chrono::milliseconds delay = options_.reconnectDelay;
    for (;;) {
        refusedNow_ = false;
        const std::string reason = runConnection();
        bool was = false;
        {
            const std::lock_guard lock(mutex_);
            was = std::exchange(connected_, false);
            if (stopping_) {
                return;
            }
        }
        if (was) {
            // It was up: the back-off starts again from its first step.
            delay = options_.reconnectDelay;
            push(MqttEvent{MqttEvent::Kind::disconnected, 0, reason, {}, {}, false});
        } else if (!refusedNow_) {
            push(MqttEvent{MqttEvent::Kind::unreachable, 0, reason, {}, {}, false});
        }
        if (!pause(delay)) {
            return;
        }
        delay = std::min(delay * 2, options_.reconnectDelayMax);
    }
}

std::string MqttClient::runConnection() {
    using Clock = std::chrono::steady_clock;
    errno = 0;
    // Looks the host up again at every attempt: a machine that starts
    // before its network (or its name server) does joins once it is up.
    const int rc =
        mosquitto_connect_async(handle_, options_.broker.host.c_str(), options_.broker.port,
                                std::max(options_.keepAliveSeconds, 5));
    if (rc != MOSQ_ERR_SUCCESS) {
        return connectionFailure(rc, errno, options_.broker);
    }
    const Clock::time_point started = Clock::now();
    std::optional<Clock::time_point> goodbyeUntil;
    for (;;) {
        bool stop = false;
        bool up = false;
        {
            const std::lock_guard lock(mutex_);
            stop = stopping_;
            up = connected_;
        }
        const Clock::time_point now = Clock::now();
        if (stop) {
            if (!up) {
                return {};
            }
            if (!goodbyeUntil) {
                // Leaves cleanly after what was published before stop()
                // (the broker discards the will), from this thread, which
                // owns the connection.
                mosquitto_disconnect(handle_);
                goodbyeUntil = now + goodbyeTime;
            } else if (now > *goodbyeUntil) {
                return {};
            }
        } else if (!up && now - started > options_.connectTimeout) {
            return "no answer within " +
                   std::to_string(
                       std::chrono::duration_cast<std::chrono::seconds>(options_.connectTimeout)
                           .count()) +
                   " s";
        }
        errno = 0;
        const int loop = mosquitto_loop(handle_, loopMillis, 1);
        if (loop != MOSQ_ERR_SUCCESS) {
            return connectionFailure(loop, errno, options_.broker);
        }
    }
}

bool MqttClient::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, delay, [this] { return stopping_; });
    return !stopping_;
}

void MqttClient::onConnect(mosquitto* handle, void* self, int code) {
    auto* client = static_cast<MqttClient*>(self);
    if (code != 0) {
        client->refusedNow_ = true;
        client->push(MqttEvent{MqttEvent::Kind::refused, code, {}, {}, {}, false});
        return;
    }
    std::vector<std::pair<std::string, int>> patterns;
    {
        const std::lock_guard lock(client->mutex_);
        client->connected_ = true;
        patterns = client->subscriptions_;
    }
    for (const auto& [pattern, qos] : patterns) {
        mosquitto_subscribe(handle, nullptr, pattern.c_str(), qos);
    }
    client->push(MqttEvent{MqttEvent::Kind::connected, 0, {}, {}, {}, false});
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    const auto length = static_cast<std::size_t>(message->payloadlen < 0 ? 0 : message->payloadlen);
    if (length > client->options_.maxPayload) {
        const std::lock_guard lock(client->mutex_);
        ++client->drops_.oversized;
        return;
    }
    MqttEvent event;
    event.kind = MqttEvent::Kind::message;
    if (client->options_.clock) {
        event.receivedMicros = client->options_.clock->nowMicros();
    }
    event.topic = message->topic ? message->topic : "";
    if (length > 0) {
        event.payload.assign(static_cast<const char*>(message->payload), length);
    }
    event.retained = message->retain;
    client->push(std::move(event));
}

} // namespace prismeta
