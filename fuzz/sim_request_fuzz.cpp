// Feeds arbitrary bytes to a substitute board as if they came down its line.
//
// Input: byte 0 picks the board (bit 0) and the gap between bytes on the
// board's clock (bits 1..7, in ms); byte 1 picks a fault put on every reply;
// the rest is the line. Every reply must be a frame the board could send:
// no longer than a request's buffer plus the noise a fault may add.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "serial/codec/frame_codec.h"
#include "sim/line/reply_fault.h"
#include "sim/line/request_reader.h"
#include "sim/models/robot_model.h"

namespace {

using tavik::sim::Board;
using tavik::sim::Fault;
using tavik::sim::FaultKind;

constexpr std::size_t kLongestReply = tavik::kFrameSize + 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Board board = (data[0] & 1) != 0 ? Board::kDrvb : Board::kPsb;
  const auto gap = std::chrono::milliseconds(data[0] >> 1);
  Fault fault;
  fault.board = board;
  fault.kind = static_cast<FaultKind>(data[1] % 7);
  fault.noise_bytes = data[1] / 7;
  fault.status = static_cast<char>(data[1]);

  auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  tavik::sim::RobotModel model(data[1], now);
  tavik::sim::RequestReader reader;
  std::mt19937_64 rng(size);
  for (std::size_t i = 2; i < size; ++i) {
    now += gap;
    if (reader.feed(data[i]) != tavik::sim::RequestReader::Event::kRequest) continue;
    const auto info = tavik::sim::classify_request(board, reader.command());
    if (!info) continue;
    tavik::sim::Bytes reply = model.answer(board, reader.command(), now);
    if (info->status_reply && fault.kind == FaultKind::kBadStatus) reply = tavik::sim::refusal(fault);
    tavik::sim::garble_reply(fault, reply, rng);
    if (reply.size() > kLongestReply) std::abort();
  }
  model.snapshot(now);
  return 0;
}
