#include "telemetry.h"

#include <cmath>
#include <iterator>
#include <vector>

#include "facts/drvb_facts.h"
#include "recording/recording_csv.h"

namespace tavik::cli {

namespace {

// The failed reads' reason, as tavik watch gives it.
void add_reason(Json& payload, const Json& reading) {
  if (reading.contains("reason")) payload["reason"] = reading["reason"];
}

}  // namespace

Json battery_payload(const Json& psb, const std::string& stamp) {
  Json payload{{"stamp", stamp}};
  if (psb.contains("battery_mv")) {
    payload["voltage"] = psb["battery_mv"].get<double>() / 1000;
    payload["current"] = psb["current_ma"].get<double>() / 1000;
    payload["devices"] = psb["devices"];
  }
  add_reason(payload, psb);
  return payload;
}

Json ranges_payload(const Json& psb, const std::string& stamp) {
  Json payload{{"stamp", stamp}};
  if (psb.contains("ranges_mm")) {
    Json metres = Json::array();
    for (const Json& mm : psb["ranges_mm"]) metres.push_back(mm.get<double>() / 1000);
    payload["ranges_m"] = metres;
    payload["names"] = Json(
        std::vector<std::string>(std::begin(recording::kRangePlaces), std::end(recording::kRangePlaces)));
  }
  add_reason(payload, psb);
  return payload;
}

Json WheelSpeed::update(const Json& drvb, double t) {
  if (!drvb.contains("encoders")) {
    counts_.reset();
    return nullptr;
  }
  const std::pair<std::int32_t, std::int32_t> now{drvb["encoders"]["left"].get<std::int32_t>(),
                                                  drvb["encoders"]["right"].get<std::int32_t>()};
  Json speed = nullptr;
  if (counts_ && t > t_) {
    const auto mm_s = [&](std::int32_t before, std::int32_t after) {
      return std::round(drvb::count_delta(before, after) / drvb::kEncoderCountsPerMm / (t - t_) * 10) / 10;
    };
    speed = {{"left", mm_s(counts_->first, now.first)}, {"right", mm_s(counts_->second, now.second)}};
  }
  counts_ = now;
  t_ = t;
  return speed;
}

Json wheels_payload(const Json& drvb, const Json& speed, const std::string& stamp) {
  Json payload{{"stamp", stamp}};
  for (const char* key : {"encoders", "speed_mm_s", "bumpers", "emergency_stop", "wheel_errors"}) {
    if (std::string(key) == "speed_mm_s") {
      if (!speed.is_null()) payload[key] = speed;
    } else if (drvb.contains(key)) {
      payload[key] = drvb[key];
    }
  }
  add_reason(payload, drvb);
  return payload;
}

}  // namespace tavik::cli
