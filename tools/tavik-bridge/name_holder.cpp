#include "name_holder.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <optional>

#include "output.h"

namespace tavik::cli {
namespace {

// Names of their own: the bridge's files compile as one (unity build).
using ProbeClock = std::chrono::steady_clock;
constexpr int kProbeLoopWaitMs = 100;

struct Probe {
  std::string state_topic, diagnostics_topic;
  bool connected = false;      // the broker's CONNACK came
  int last_subscription = -1;  // its SUBACK follows the retained state's
  bool subscribed = false;
  std::optional<bool> online;  // the retained state, once it came
  bool publishing = false;     // diagnostics came
  bool failed = false;         // refused
};

void probe_connected(mosquitto* mosq, void* self, int rc) {
  auto& probe = *static_cast<Probe*>(self);
  if (rc != 0) {
    probe.failed = true;
    return;
  }
  probe.connected = true;
  mosquitto_subscribe(mosq, nullptr, probe.state_topic.c_str(), 0);
  mosquitto_subscribe(mosq, &probe.last_subscription, probe.diagnostics_topic.c_str(), 0);
}

void probe_subscribed(mosquitto*, void* self, int mid, int, const int*) {
  auto& probe = *static_cast<Probe*>(self);
  if (mid == probe.last_subscription) probe.subscribed = true;
}

void probe_message(mosquitto*, void* self, const mosquitto_message* message) {
  auto& probe = *static_cast<Probe*>(self);
  const std::string payload(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(std::max(message->payloadlen, 0)));
  if (probe.state_topic == message->topic) {
    const Json state = Json::parse(payload, nullptr, false);
    probe.online = state.is_object() && state.value("state", Json()) == "online";
  } else if (!message->retain)
    probe.publishing = true;
}

}  // namespace

NameHolder name_holder(const BrokerSettings& settings, const std::string& base,
                       const std::function<bool()>& cancelled) {
  static const int initialised = mosquitto_lib_init();
  (void)initialised;
  Probe probe;
  probe.state_topic = base + "state";
  probe.diagnostics_topic = base + "diagnostics";
  mosquitto* mosq = mosquitto_new(nullptr, true, &probe);
  if (mosq == nullptr) return NameHolder::kUnknown;
  mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_callback_set(mosq, probe_connected);
  mosquitto_subscribe_callback_set(mosq, probe_subscribed);
  mosquitto_message_callback_set(mosq, probe_message);
  int rc = set_login(mosq, settings);
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_connect_async(mosq, settings.host.c_str(), settings.port, settings.keepalive_s);
  NameHolder answer = NameHolder::kUnknown;
  const auto start = ProbeClock::now();
  const auto deadline = start + kHolderBound;
  std::optional<ProbeClock::time_point> quiet_until;  // set once the retained state is known
  while (rc == MOSQ_ERR_SUCCESS && !probe.failed && ProbeClock::now() < deadline && !cancelled()) {
    rc = mosquitto_loop(mosq, kProbeLoopWaitMs, 1);
    if (!probe.connected && ProbeClock::now() - start >= kHolderConnectBound) break;
    if (probe.publishing && probe.online.value_or(false)) {
      answer = NameHolder::kLive;
      break;
    }
    if (!probe.subscribed) continue;
    if (!probe.online.value_or(false)) {
      answer = NameHolder::kNone;
      break;
    }
    if (!quiet_until) quiet_until = ProbeClock::now() + kHolderQuiet;
    if (ProbeClock::now() >= *quiet_until) {
      answer = NameHolder::kNone;
      break;
    }
  }
  mosquitto_disconnect(mosq);
  mosquitto_destroy(mosq);
  return answer;
}

}  // namespace tavik::cli
