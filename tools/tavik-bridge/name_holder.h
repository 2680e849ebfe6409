// Whether a live bridge already runs under a name, asked of the broker
// before this one takes the name's session (which would end that bridge's):
// its retained state says online and its diagnostics, published once a
// second, arrive. A state left online by a bridge that is gone (a broker
// restarted with its retained messages) sends no diagnostics.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "mqtt_link.h"

namespace tavik::cli {

// How long the diagnostics of a bridge whose state is online are waited for.
inline constexpr auto kHolderQuiet = std::chrono::milliseconds(2500);
// The longest the broker's CONNACK is waited for: a listener that is no
// broker, or a broker that slow, is not asked (unknown), so that the
// connection proper and its own reasons are not held up.
inline constexpr auto kHolderConnectBound = std::chrono::seconds(1);
// The longest the question takes, from the connect on.
inline constexpr auto kHolderBound = std::chrono::seconds(5);

enum class NameHolder {
  kNone,     // no live bridge: the state is offline, missing, or nothing publishes
  kLive,     // a bridge publishes under the name
  kUnknown,  // the broker could not be asked (not reachable, refused) within the bound, or cancelled
};

// Asks the broker of settings (with its credentials, under a client id of
// the library's making) about the bridge whose topics start with base
// ("tavik/r1/"); gives up (unknown) as soon as cancelled says so.
NameHolder name_holder(const BrokerSettings& settings, const std::string& base,
                       const std::function<bool()>& cancelled);

}  // namespace tavik::cli
