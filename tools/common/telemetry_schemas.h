// The JSON Schemas of the telemetry payloads (bridge_messages.h and
// board_diagnostics.h make them): the bridge publishes the payloads under
// its topics, tavik watch --mcap records them on channels with these
// schemas.
#pragma once

#include <array>
#include <vector>

#include "output.h"

namespace tavik::cli {

struct TelemetryChannel {
  const char* topic;    // the bridge's: battery, ranges, wheels, diagnostics
  const char* channel;  // the recording's: /psb/battery, ...
  const char* name;     // the schema's: tavik.Battery, ...
  Json schema;          // JSON Schema, draft 2020-12
};

enum TelemetryIndex { kBatteryChannel, kRangesChannel, kWheelsChannel, kDiagnosticsChannel };

// In the order of TelemetryIndex.
const std::vector<TelemetryChannel>& telemetry_channels();

// The JSON Schema of a payload that is an object of these properties, the
// required ones among them, and no others.
Json object_schema(const char* title, Json properties, Json required);
// A number with its unit; a {left, right} pair of one JSON type.
Json number_schema(const char* unit);
Json pair_schema(const char* type);

// A board's diagnostics levels (board_diagnostics.h), from the least bad.
inline constexpr std::array<const char*, 4> kDiagnosticsLevels = {"OK", "WARN", "STALE", "ERROR"};

}  // namespace tavik::cli
