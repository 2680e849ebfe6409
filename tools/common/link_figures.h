// A board link's figures over a watch: exchanges, failures by reason, the
// round-trip times of the answered ones, and the outages: an outage begins
// with the first "device lost" after an answered exchange and ends with the
// next answered one, when the device came back.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "board_readings.h"

namespace tavik::cli {

class LinkFigures {
 public:
  // The steps of one poll made t seconds after the start.
  void add(const std::vector<Step>& steps, double t);
  // True while the device is lost.
  bool lost() const { return lost_since_ >= 0; }
  // {"exchanges": n, "failures": {"no reply": k, ...}, "round_trip_ms": {"median": m, "worst": w},
  //  "lost": {"outages": o, "returns": r, "seconds": s}, "late_replies": l}; an outage still on
  // at t counts up to t. late: the replies the connection discarded for
  // coming after their exchange had given up.
  Json summary(double t, unsigned late) const;
  // "412 exchanges, 3 failed (no reply 3), round trip median 2.1 ms, worst 3.9 ms[, lost 1 time
  // for 0.8 s, came back 1 time][, 2 late replies]"
  std::string text(double t, unsigned late) const;

 private:
  int exchanges_ = 0;
  std::map<std::string, int> failures_;
  // The answered exchanges' round trips, counted by hundredths of a
  // millisecond (the figures' precision): memory bounded by the time-out,
  // whatever the run time.
  std::map<long, unsigned> round_trips_;
  unsigned answered_ = 0;
  double median_ms() const;
  double worst_ms() const { return static_cast<double>(round_trips_.rbegin()->first) / 100; }
  int outages_ = 0;
  int returns_ = 0;
  double lost_s_ = 0;       // of the outages that ended
  double lost_since_ = -1;  // start of the outage going on, or -1
  double seconds_lost(double t) const { return lost_s_ + (lost() ? t - lost_since_ : 0); }
};

}  // namespace tavik::cli
