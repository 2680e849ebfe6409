// The MCAP recording of watch (--mcap): a channel per telemetry payload of
// the bridge (/psb/battery, /psb/ranges, /drvb/wheels, /diagnostics), each
// message that payload as JSON, logged and published at the moment its
// reading was taken. A failed read is a message with its reason, so that a
// gap in a plot has its cause beside it. The file is written as the other
// outputs are (output_file.h): beside its name and put in place at the end;
// a watch killed outright leaves the temporary file whole up to its last
// chunk (a second of readings). With the wheel separation known, the
// odometry of the encoder counts (the watch's, polled_odometry.h) is
// recorded as well: /odom (foxglove.PoseInFrame) and /tf
// (foxglove.FrameTransforms, odom -> base_link), so that a viewer draws the
// robot's track.
#pragma once

#include <chrono>
#include <string>

#include "odometry/wheel_odometry.h"
#include "output_file.h"
#include "recording/mcap_writer.h"
#include "telemetry.h"

namespace tavik::cli {

class WatchMcap {
 public:
  using Time = std::chrono::system_clock::time_point;

  // Throws CommandError as OutputFile does; with `odometry`, the /odom and /tf channels.
  WatchMcap(const std::string& path, bool overwrite, bool odometry);

  bool to_standard_output() const { return file_.to_standard_output(); }
  // A board's reading (read_psb, read_drvb with mark_failures), taken at
  // `taken`, t seconds after the start.
  void add(Board board, const Json& reading, Time taken, double t);
  // The pose the drive board's reading taken at `taken` gave (made with odometry).
  void add_odometry(const odometry::Pose& pose, Time taken);
  // The boards' diagnostics entries (board_diagnostics) at `at`.
  void add_diagnostics(const Json& boards, Time at);
  // Writes the summary and puts the file in place; false when it could not be.
  bool finish();

  bool closed() const { return file_.closed(); }
  const std::string& failure() const { return file_.failure(); }

 private:
  void write(std::uint16_t channel, const Json& payload, Time at);

  OutputFile file_;
  recording::McapWriter writer_;
  std::uint16_t channels_[4] = {};
  WheelSpeed speed_;
  std::uint16_t odom_channel_ = 0;
  std::uint16_t tf_channel_ = 0;
};

}  // namespace tavik::cli
