#include "watch_mcap.h"

#include "odometry_payloads.h"
#include "recording/recording_csv.h"
#include "tavik_version.h"
#include "telemetry_schemas.h"

namespace tavik::cli {

WatchMcap::WatchMcap(const std::string& path, bool overwrite, bool odometry)
    : file_(path, overwrite, "MCAP file"),
      writer_([this](std::string_view bytes) { return file_.write(bytes); },
              std::string("tavik ") + TAVIK_VERSION) {
  const auto& all = telemetry_channels();
  for (std::size_t i = 0; i < all.size(); ++i) {
    const TelemetryChannel& c = all[i];
    channels_[i] =
        writer_.add_channel(c.channel, writer_.add_schema(c.name, "jsonschema", c.schema.dump()), "json");
  }
  if (odometry) {
    odom_channel_ = writer_.add_channel(
        "/odom", writer_.add_schema("foxglove.PoseInFrame", "jsonschema", pose_in_frame_schema().dump()),
        "json");
    tf_channel_ = writer_.add_channel(
        "/tf", writer_.add_schema("foxglove.FrameTransforms", "jsonschema", frame_transforms_schema().dump()),
        "json");
  }
}

void WatchMcap::write(std::uint16_t channel, const Json& payload, Time at) {
  const auto ns = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count());
  writer_.write(channel, ns, ns, payload.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void WatchMcap::add(Board board, const Json& reading, Time taken, double t) {
  const std::string stamp = recording::utc_text(taken);
  if (board == Board::kPsb) {
    write(channels_[kBatteryChannel], battery_payload(reading, stamp), taken);
    write(channels_[kRangesChannel], ranges_payload(reading, stamp), taken);
  } else {
    write(channels_[kWheelsChannel], wheels_payload(reading, speed_.update(reading, t), stamp), taken);
  }
}

void WatchMcap::add_odometry(const odometry::Pose& pose, Time taken) {
  write(odom_channel_, pose_in_frame(pose, taken), taken);
  write(tf_channel_, frame_transforms(pose, taken), taken);
}

void WatchMcap::add_diagnostics(const Json& boards, Time at) {
  write(channels_[kDiagnosticsChannel], Json{{"stamp", recording::utc_text(at)}, {"boards", boards}}, at);
}

bool WatchMcap::finish() { return writer_.finish() && file_.finish(); }

}  // namespace tavik::cli
