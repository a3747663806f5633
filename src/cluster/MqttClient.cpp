#include "cluster/MqttClient.h"

#include "core/Uuid.h"

#include <mosquitto.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace prismeta {

namespace {

// The largest payload MQTT can carry (its remaining-length field).
constexpr std::size_t maxMqttPayload = 268'435'455;

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
    mosquitto_connect_callback_set(handle_, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(handle_, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(handle_, &MqttClient::onMessage);
    mosquitto_reconnect_delay_set(handle_, static_cast<unsigned>(options_.reconnectDelaySeconds),
                                  static_cast<unsigned>(options_.reconnectDelayMaxSeconds), true);
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
    // A broker that is down now is tried again by the network thread, so a
    // failure of the first attempt is not an error here.
    const int rc =
        mosquitto_connect_async(handle_, options_.broker.host.c_str(), options_.broker.port,
                                std::max(options_.keepAliveSeconds, 5));
    if (rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_EAI) {
        return fail("cannot reach broker " + options_.broker.host + ": " + libraryError(rc));
    }
    const int loop = mosquitto_loop_start(handle_);
    if (loop != MOSQ_ERR_SUCCESS) {
        return fail("could not start the MQTT network thread: " + libraryError(loop));
    }
    running_ = true;
    return Status::success();
}

void MqttClient::stop() {
    if (!handle_) {
        return;
    }
    mosquitto_disconnect(handle_);
    if (running_) {
        mosquitto_loop_stop(handle_, false);
        running_ = false;
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
        subscriptions_.emplace_back(name, qos);
        isConnected = connected_;
    }
    if (handle_ && isConnected) {
        return mosquitto_subscribe(handle_, nullptr, name.c_str(), qos) == MOSQ_ERR_SUCCESS;
    }
    return true;
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

void MqttClient::onConnect(mosquitto* handle, void* self, int code) {
    auto* client = static_cast<MqttClient*>(self);
    if (code != 0) {
        client->push(MqttEvent{MqttEvent::Kind::refused, code, {}, {}, false});
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
    client->push(MqttEvent{MqttEvent::Kind::connected, 0, {}, {}, false});
}

void MqttClient::onDisconnect(mosquitto*, void* self, int code) {
    auto* client = static_cast<MqttClient*>(self);
    bool was = false;
    {
        const std::lock_guard lock(client->mutex_);
        was = std::exchange(client->connected_, false);
    }
    if (was) {
        client->push(MqttEvent{MqttEvent::Kind::disconnected, code, {}, {}, false});
    }
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
