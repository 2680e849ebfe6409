// The retained summary topic: what a fleet overview needs of one robot and
// no more (online, battery, each board's diagnostics level, the worst
// reason, bumpers and emergency stop, wheel errors, whether it may drive,
// the pose), published on a change at most once a second and at least every
// kHeartbeat (SummaryPacer; the pose rides along but is no change of its
// own, since a moving robot's changes at every poll), so that an overview of many robots reads one
// small message a robot instead of its telemetry.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "odometry/wheel_odometry.h"
#include "output.h"

namespace tavik::cli {

struct SummarySource {
  bool online = true;
  Json psb;                    // the power board's last reading (read_psb), null while its port is closed
  Json drvb;                   // the drive board's (read_drvb)
  Json boards;                 // the last diagnostics' entries (diagnostics_entry), null before the first
  bool drive_allowed = false;  // --allow-drive
  std::optional<odometry::Pose> pose;
};

// The payload without its stamp (so that two can be compared): voltage and
// pose rounded, so that a reading's noise is no change.
Json summary_content(const SummarySource& source);
// What a change of the summary is told by: its content but the pose.
std::string summary_change_key(const Json& content);
Json summary_schema();

// When a summary goes out: the first at once, a changed one once kLeastGap
// has passed since the last sent (a change meanwhile waits for it), the same
// one again kHeartbeat after the last. The bridge offers one at each poll
// and each diagnostics; now is the caller's clock.
class SummaryPacer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kLeastGap = std::chrono::seconds(1);
  static constexpr auto kHeartbeat = std::chrono::seconds(10);

  bool due(const std::string& content, Clock::time_point now);
  // The next offer goes out whatever it holds (after a connect).
  void renew() { sent_.reset(); }

 private:
  std::optional<Clock::time_point> sent_;
  std::string content_;
};

}  // namespace tavik::cli
