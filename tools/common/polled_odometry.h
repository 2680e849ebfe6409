// The wheel odometry of a program that polls the drive board, watch and the
// bridge: one WheelOdometry per run, which each poll's reading goes to, and
// the option that gives the wheel separation it needs.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "board_readings.h"
#include "odometry/wheel_odometry.h"
#include "recording/recording_csv.h"

namespace tavik::cli {

class PolledOdometry {
 public:
  explicit PolledOdometry(double wheel_separation_mm) : odometry_(wheel_separation_mm) {}

  // The drive board's reading of a poll made t seconds after the start
  // (read_drvb, marked with mark_failures) and the poll's steps. A poll that
  // lost the port starts the counting anew from its reading, keeping the
  // pose: the board may have been switched off and on meanwhile, and its
  // counters with it. What the reading's counts did, or nothing when it has
  // none (their read failed): the pose is where it was.
  std::optional<odometry::Step> add(const Json& drvb, const std::vector<Step>& steps, double t);

  const odometry::WheelOdometry& odometry() const { return odometry_; }
  recording::OdometryCells cells() const;

 private:
  odometry::WheelOdometry odometry_;
};

// --wheel-separation-mm MM, into `value`; `use` says what it is for.
void add_wheel_separation_option(CLI::App& command, std::optional<double>& value, const std::string& use);

}  // namespace tavik::cli
