// The bridge's connection to an MQTT broker, through libmosquitto: one
// network thread of its own runs the library's loop (every call bounded by
// its time-out), connects without blocking and, when the connection is lost
// or cannot be made, tries again after a back-off that doubles up to
// kLongestBackOff, unless the broker has the last word: it refused the
// connection, or gave the client id's session to another client (MQTT 5's
// "session taken over"), which taking it back would only answer in turn.
// Publishing is safe from any thread; the handler's functions run on the
// network thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace tavik::cli {

inline constexpr auto kFirstBackOff = std::chrono::milliseconds(500);
inline constexpr auto kLongestBackOff = std::chrono::seconds(4);
// Why an attempt failed whose listener took the TCP connection but sent no
// MQTT CONNACK (within the keep-alive time, or closed it).
inline constexpr const char* kNoConnack = "no CONNACK: is this a broker?";

struct BrokerSettings {
  std::string host;
  int port = 1883;
  bool tls = false;
  std::string username;  // "": anonymous
  std::string password;
  std::string ca_file;  // "" with tls: the system's certificates
  std::string cert_file;
  std::string key_file;
  std::string client_id;
  int keepalive_s = 5;
  std::string will_topic;  // retained, QoS 1
  std::function<std::string()> will_payload;
};

// Gives mosq the settings' user and password and, with tls, the
// certificate files: MOSQ_ERR_SUCCESS or the library's error.
int set_login(mosquitto* mosq, const BrokerSettings& settings);

struct BrokerHandler {
  std::function<void()> connected;                      // after the broker accepted the connection
  std::function<void(const std::string& why)> lost;     // a connection that was up went down
  std::function<void(const std::string& why)> refused;  // the broker said no (credentials); no retry
  // Another client connected with this one's client id and the broker
  // ended this connection (reason 0x8E); no retry.
  std::function<void(const std::string& why)> taken_over;
  std::function<void(const std::string& why)> retrying;  // an attempt failed; the next follows
  std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
  // Before the first attempt to connect and the first after each loss:
  // false ends the tries (the client id is another's to use), as the
  // broker's last word does.
  std::function<bool()> before_connect;
};

class MqttLink {
 public:
  MqttLink(BrokerSettings settings, BrokerHandler handler);
  // Starts the network thread: connects, and again whenever the connection is lost.
  void start();
  ~MqttLink();  // stops
  MqttLink(const MqttLink&) = delete;
  MqttLink& operator=(const MqttLink&) = delete;

  // From the connected handler: takes the topic's messages at QoS 1, each
  // with its retain flag as it was published (also one published while
  // subscribed: the broker's copy kept for later subscribers).
  void subscribe(const std::string& topic);
  // Queues a message for the network thread; false when not connected.
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  // Publishes a last message (retained, QoS 1), waits at most bound for the
  // broker to acknowledge it, then disconnects and joins the network thread.
  void close(const std::string& topic, const std::string& payload, std::chrono::milliseconds bound);
  // Disconnects and joins the network thread; later publishes return false.
  void stop();
  // True once stop (or close) was asked: for a handler's own waits.
  bool stopping();

 private:
  void run();
  void on_connect(int rc);
  void on_disconnect(int rc);
  void on_publish(int mid);
  static void connect_cb(mosquitto*, void* self, int rc);
  static void disconnect_cb(mosquitto*, void* self, int rc);
  static void publish_cb(mosquitto*, void* self, int mid);
  static void message_cb(mosquitto*, void* self, const mosquitto_message* message);

  BrokerSettings settings_;
  BrokerHandler handler_;
  mosquitto* mosq_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool connected_ = false;  // guarded by mutex_
  bool stopping_ = false;   // guarded by mutex_
  int awaited_mid_ = -1;    // guarded by mutex_: the last message's id until acknowledged
  bool refused_ = false;    // network thread only: the broker answered with a refusal
  bool final_ = false;      // network thread only: the broker refused or ended the session; no retry
  std::thread thread_;
};

}  // namespace tavik::cli
