#include "mqtt_link.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tavik::cli {
namespace {

// The longest a loop call waits for the socket: how soon the network thread
// notices a close while it waits for a connection that is never answered.
constexpr int kLoopWaitMs = 1000;

std::string error_text(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(rc);
}

// A reason code of the broker's (MQTT 5: 0x80 and above), as
// "Not authorized (0x87)".
std::string reason_text(int rc) {
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(rc));
  return std::string(mosquitto_reason_string(rc)) + " (" + code + ")";
}

// Why the connection ended: the broker's reason (its DISCONNECT), or the library's.
std::string disconnect_text(int rc) {
  if (rc == 0) return "disconnected";
  return rc >= MQTT_RC_UNSPECIFIED ? reason_text(rc) : error_text(rc);
}

// True when the client's socket is connected to its peer (TCP is up).
bool peer_connected(mosquitto* mosq) {
  const int fd = mosquitto_socket(mosq);
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return fd >= 0 && ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace

int set_login(mosquitto* mosq, const BrokerSettings& settings) {
  int rc = MOSQ_ERR_SUCCESS;
  if (!settings.username.empty())
    rc = mosquitto_username_pw_set(mosq, settings.username.c_str(), settings.password.c_str());
  if (rc == MOSQ_ERR_SUCCESS && settings.tls) {
    const char* ca = settings.ca_file.empty() ? nullptr : settings.ca_file.c_str();
    rc = mosquitto_tls_set(mosq, ca, ca == nullptr ? "/etc/ssl/certs" : nullptr,
                           settings.cert_file.empty() ? nullptr : settings.cert_file.c_str(),
                           settings.key_file.empty() ? nullptr : settings.key_file.c_str(), nullptr);
  }
  return rc;
}

MqttLink::MqttLink(BrokerSettings settings, BrokerHandler handler)
    : settings_(std::move(settings)), handler_(std::move(handler)) {
  static const int initialised = mosquitto_lib_init();
  (void)initialised;
  mosq_ = mosquitto_new(settings_.client_id.c_str(), true, this);
  if (mosq_ == nullptr) throw std::runtime_error("cannot make an MQTT client: " + error_text(MOSQ_ERR_ERRNO));
  // Another thread publishes while this one runs the loop.
  mosquitto_threaded_set(mosq_, true);
  // MQTT 5, so that a subscription keeps the retain flag as published
  // (subscribe).
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  // A command's answer and the readings go out as they come, not held for the last one's ACK.
  mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(mosq_, connect_cb);
  mosquitto_disconnect_callback_set(mosq_, disconnect_cb);
  mosquitto_publish_callback_set(mosq_, publish_cb);
  mosquitto_message_callback_set(mosq_, message_cb);
  const int rc = set_login(mosq_, settings_);
  if (rc != MOSQ_ERR_SUCCESS) {
    mosquitto_destroy(mosq_);
    throw std::runtime_error("cannot set up the MQTT client: " + error_text(rc));
  }
}

void MqttLink::start() {
  thread_ = std::thread([this] { run(); });
}

MqttLink::~MqttLink() {
  stop();
  mosquitto_destroy(mosq_);
}

void MqttLink::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // A clean disconnect: the broker drops the last will. The network thread
  // may have seen the stop before it wrote the DISCONNECT (the packet waits
  // in the client's queue): it is written here once that thread has ended,
  // or the broker would take the closed socket for a loss and publish the
  // will over the state the bridge left.
  mosquitto_disconnect(mosq_);
  if (thread_.joinable()) thread_.join();
  mosquitto_loop_write(mosq_, 1);
  std::lock_guard lock(mutex_);
  connected_ = false;
}

bool MqttLink::stopping() {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void MqttLink::subscribe(const std::string& topic) {
  mosquitto_subscribe_v5(mosq_, nullptr, topic.c_str(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
}

bool MqttLink::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  {
    std::lock_guard lock(mutex_);
    if (!connected_) return false;
  }
  return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                           qos, retain) == MOSQ_ERR_SUCCESS;
}

void MqttLink::close(const std::string& topic, const std::string& payload, std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  if (connected_) {
    int mid = 0;
    if (mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                          true) == MOSQ_ERR_SUCCESS) {
      awaited_mid_ = mid;
      changed_.wait_for(lock, bound, [this] { return awaited_mid_ < 0 || !connected_; });
    }
  }
  lock.unlock();
  stop();
}

void MqttLink::run() {
  auto back_off = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstBackOff);
  bool first = true;
  bool ask = true;  // before_connect is due: before the first attempt and after each loss
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    if (!final_ && ask && handler_.before_connect && !handler_.before_connect()) final_ = true;
    ask = false;
    if (stopping()) return;  // asked while before_connect ran
    if (final_) {
      // The broker's last word, or the client id another's: nothing more
      // to try; the owner stops the link.
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_; });
      return;
    }
    const std::string will = settings_.will_payload ? settings_.will_payload() : std::string();
    if (!settings_.will_topic.empty())
      mosquitto_will_set(mosq_, settings_.will_topic.c_str(), static_cast<int>(will.size()), will.data(), 1,
                         true);
    int rc =
        first ? mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port, settings_.keepalive_s)
              : mosquitto_reconnect_async(mosq_);
    if (rc == MOSQ_ERR_SUCCESS) first = false;
    refused_ = false;
    bool was_up = false;
    bool peer_up = false;  // TCP was up (the listener took the connection)
    while (rc == MOSQ_ERR_SUCCESS) {
      rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
      peer_up = peer_up || peer_connected(mosq_);
      std::lock_guard lock(mutex_);
      if (connected_) {
        was_up = true;
        back_off = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstBackOff);
      }
      if (stopping_) return;
    }
    if (final_) continue;  // no retry, no back-off: the wait above
    ask = was_up;
    bool unreported = false;  // a loss that no disconnect callback reported
    {
      std::lock_guard lock(mutex_);
      unreported = connected_;
      connected_ = false;
    }
    changed_.notify_all();
    if (unreported && handler_.lost) handler_.lost(error_text(rc));
    // A listener that took the connection but never answered it as a
    // broker does (a web server, a serial server, a closed port's proxy);
    // a failed TLS handshake says its own reason.
    const std::string why =
        peer_up && !was_up && !refused_ && rc != MOSQ_ERR_TLS ? kNoConnack : error_text(rc);
    if (!was_up && handler_.retrying)
      handler_.retrying(why + "; trying again in " + std::to_string(back_off.count()) + " ms");
    std::unique_lock lock(mutex_);
    if (changed_.wait_for(lock, back_off, [this] { return stopping_; })) return;
    back_off = std::min(back_off * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kLongestBackOff));
  }
}

void MqttLink::on_connect(int rc) {
  if (rc != 0) {
    refused_ = final_ = true;
    if (handler_.refused)
      handler_.refused(rc >= MQTT_RC_UNSPECIFIED ? reason_text(rc) : mosquitto_connack_string(rc));
    return;
  }
  {
    std::lock_guard lock(mutex_);
    connected_ = true;
  }
  if (handler_.connected) handler_.connected();
}

void MqttLink::on_disconnect(int rc) {
  bool was_up = false;
  {
    std::lock_guard lock(mutex_);
    was_up = connected_ && !stopping_;  // not the disconnect asked for
    connected_ = false;
  }
  changed_.notify_all();
  if (rc == MQTT_RC_SESSION_TAKEN_OVER && !final_) {
    final_ = true;
    if (handler_.taken_over) handler_.taken_over(disconnect_text(rc));
    return;
  }
  if (was_up && handler_.lost) handler_.lost(disconnect_text(rc));
}

void MqttLink::on_publish(int mid) {
  {
    std::lock_guard lock(mutex_);
    if (mid != awaited_mid_) return;
    awaited_mid_ = -1;
  }
  changed_.notify_all();
}

void MqttLink::connect_cb(mosquitto*, void* self, int rc) { static_cast<MqttLink*>(self)->on_connect(rc); }
void MqttLink::disconnect_cb(mosquitto*, void* self, int rc) {
  static_cast<MqttLink*>(self)->on_disconnect(rc);
}
void MqttLink::publish_cb(mosquitto*, void* self, int mid) { static_cast<MqttLink*>(self)->on_publish(mid); }
void MqttLink::message_cb(mosquitto*, void* self, const mosquitto_message* message) {
  auto* link = static_cast<MqttLink*>(self);
  if (!link->handler_.message) return;
  link->handler_.message(message->topic,
                         std::string(static_cast<const char*>(message->payload),
                                     static_cast<std::size_t>(std::max(message->payloadlen, 0))),
                         message->retain);
}

}  // namespace tavik::cli
