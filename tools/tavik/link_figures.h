// A board link's figures over a watch: exchanges, failures by reason and the
// round-trip times of the answered ones.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "board_readings.h"

namespace tavik::cli {

class LinkFigures {
 public:
  void add(const std::vector<Step>& steps);
  // {"exchanges": n, "failures": {"no reply": k, ...}, "round_trip_ms": {"median": m, "worst": w}}
  Json summary() const;
  // "412 exchanges, 3 failed (no reply 3), round trip median 2.1 ms, worst 3.9 ms"
  std::string text() const;

 private:
  int exchanges_ = 0;
  std::map<std::string, int> failures_;
  std::vector<double> round_trips_ms_;
};

}  // namespace tavik::cli
