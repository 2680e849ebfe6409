// Well-formed power & sensor board replies for tests driven by the scripted peer.
#pragma once

#include <string>

#include "sim/models/frame_builder.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik::test {

// 40 data bytes with ranges (hi, lo) pairs first and a recognisable tail.
inline sim::Bytes sar_data(const std::vector<std::pair<int, int>>& ranges) {
  sim::Bytes data(40, 0);
  for (std::size_t i = 0; i < ranges.size() && i < 7; ++i) {
    data[2 * i] = static_cast<std::uint8_t>(ranges[i].first);
    data[2 * i + 1] = static_cast<std::uint8_t>(ranges[i].second);
  }
  for (std::size_t p = 32; p < 40; ++p) data[p] = static_cast<std::uint8_t>(0xB0 + p);  // positions 34..41
  return data;
}

// Answers every PSB request correctly at once.
inline test::ScriptedReply good_psb_reply(const sim::Bytes& request) {
  std::string command(request.begin() + 1, request.end() - 2);
  if (command == "PDR") return {sim::frame("12;0;0;5;0;0;9;2;4"), {}};
  if (command == "Sar") return {sim::counted_frame(sar_data({{0, 200}, {1, 44}})), {}};
  if (command.rfind("SDU", 0) == 0) return {sim::frame(command), {}};  // the echo
  if (command.rfind("P", 0) == 0) return {sim::frame("0"), {}};
  return {};
}

}  // namespace tavik::test
