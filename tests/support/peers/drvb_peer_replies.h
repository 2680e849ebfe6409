// Well-formed drive board replies for tests driven by the scripted peer.
#pragma once

#include <string>

#include "sim/models/frame_builder.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik::test {

inline std::string command_of(const sim::Bytes& request) {
  return std::string(request.begin() + 1, request.end() - 2);
}

// The 12-byte AA reply with the given bytes at positions 3, 5, 7 and 8.
inline sim::Bytes aa_reply(std::uint8_t left_err, std::uint8_t right_err, std::uint8_t bumpers,
                           std::uint8_t emergency) {
  return sim::frame(sim::Bytes{'0', '0', left_err, '0', right_err, '0', bumpers, emergency, '0'});
}

// Answers every DRVB request correctly at once.
inline test::ScriptedReply good_drvb_reply(const sim::Bytes& request) {
  const std::string command = command_of(request);
  if (command == "AC0") return {sim::frame("00000001234-000000056"), {}};
  if (command == "AA") return {aa_reply(0, 0, '0', '0'), {}};
  if (command.rfind("XL", 0) == 0) return {sim::frame("0120"), {}};
  return {sim::frame("0"), {}};
}

}  // namespace tavik::test
