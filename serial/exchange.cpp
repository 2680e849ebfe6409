#include "serial/exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/frame_codec.h"
#include "serial/reply_readers.h"
#include "serial/reply_shapes.h"
#include "serial/wire_trace.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// The failures after which the failed request's reply may still be on its way.
bool answer_may_follow(Failure failure) {
  return failure == Failure::kNoReply || failure == Failure::kBadCheck || failure == Failure::kMalformed ||
         failure == Failure::kUnexpected;
}

void trace_outcome(SerialPort* port, Result result) {
  if (!wire_trace_on()) return;
  char outcome[32];
  if (result.failure == Failure::kRefused && result.status > 0x20 && result.status < 0x7F) {
    std::snprintf(outcome, sizeof outcome, "refused (%c)", static_cast<char>(result.status));
  } else if (result.failure == Failure::kRefused) {
    std::snprintf(outcome, sizeof outcome, "refused (0x%02x)", result.status);
  } else {
    std::snprintf(outcome, sizeof outcome, "%s", failure_name(result.failure));
  }
  serial_port_trace_end(port, "rx", outcome);
}

void open_window(LateReplyWindow& late, const SerialPort* port, const Request& request) {
  late.open = true;
  late.until = Clock::now() + std::chrono::milliseconds(serial_port_timeout(port));
  late.reply = request.reply;
  late.min_count = request.min_count;
  late.request_length = std::min(request.length, kMaxRequestSize);
  std::memcpy(late.request, request.frame, static_cast<std::size_t>(late.request_length));
}

bool answers_late_request(const LateReplyWindow& late, const std::uint8_t* frame, int length) {
  const Result r = judge_reply(late.reply, late.min_count, late.request, late.request_length, frame, length);
  return r.is_ok() || r.failure == Failure::kRefused;
}

// A frame that answered the failed request: dropped, traced and counted.
void discard_late(Line& line) {
  serial_port_trace_end(line.port, "late", nullptr);
  ++line.late.seen;
  line.late.open = false;
}

// Reads frames of the late reply's shape until its window closes or one
// arrives; whatever came goes with the purge that precedes the next request.
void await_late_reply(Line& line) {
  LateReplyWindow& late = line.late;
  if (!late.open) return;
  while (late.open && Clock::now() < late.until) {
    std::uint8_t frame[kFrameSize] = {};
    int length = 0;
    const LengthHint hint = length_hint(late.reply, late.request_length);
    if (!collect_frame(line.port, frame, frame_shape(late.reply), &length, late.until, hint).is_ok()) break;
    if (answers_late_request(late, frame, length)) discard_late(line);
  }
  serial_port_trace_end(line.port, "purged", nullptr);
  late.open = false;
}

// Reads the reply to request into reply by the deadline. With skip_late,
// frames that do not answer the request are dropped (a late reply among them
// is recognised) and reading goes on.
Result read_answer(Line& line, const Request& request, std::uint8_t* reply, int* reply_length,
                   bool skip_late) {
  const auto deadline = reply_deadline(line.port);
  for (;;) {
    int length = 0;
    Result result = collect_frame(line.port, reply, frame_shape(request.reply), &length, deadline,
                                  length_hint(request.reply, request.length));
    if (request.reply == ReplyKind::kStoredAck && result.failure == Failure::kMalformed &&
        reply[1] == kStatusStored) {
      return Result::ok();  // the board said it stored the write, and the rest of its frame was lost
    }
    const bool framed = result.is_ok();
    if (framed)
      result = judge_reply(request.reply, request.min_count, request.frame, request.length, reply, length);
    const bool foreign = result.failure == Failure::kUnexpected || result.failure == Failure::kBadCheck;
    if (!skip_late || !foreign || Clock::now() >= deadline) {
      // A frame ended by its count or length: whatever follows is not of it.
      if (framed && frame_shape(request.reply) != FrameShape::kEtxTerminated) serial_port_purge(line.port);
      if (result.is_ok() && reply_length != nullptr) *reply_length = length;
      return result;
    }
    if (line.late.open && answers_late_request(line.late, reply, length)) {
      discard_late(line);
    } else {
      serial_port_trace_end(line.port, "purged", nullptr);
    }
    std::memset(reply, 0, kFrameSize);
  }
}

Result finish(Line& line, const Request& request, Result result, bool await_its_answer = true) {
  if (request.purge_after) serial_port_purge(line.port);
  trace_outcome(line.port, result);
  if (await_its_answer && answer_may_follow(result.failure)) open_window(line.late, line.port, request);
  return result;
}

void send(SerialPort* port, const Request& request) {
  serial_port_purge(port);
  serial_port_write(port, request.frame, request.length);
}

bool is_acknowledgement(ReplyKind kind) { return kind == ReplyKind::kAck || kind == ReplyKind::kStoredAck; }

}  // namespace

Result exchange(Line& line, const Request& request, std::uint8_t* reply, int* reply_length) {
  await_late_reply(line);
  send(line.port, request);
  return finish(line, request, read_answer(line, request, reply, reply_length, false));
}

Result exchange_stop(Line& line, const Request& request, std::uint8_t* reply) {
  if (!line.late.open) return exchange(line, request, reply);
  send(line.port, request);
  // A late acknowledgement cannot be told from the stop's own: the stop goes
  // once more when the late one can no longer come. Late acknowledgements
  // of the first stop do not matter: they answer a stop too.
  const bool ambiguous = is_acknowledgement(line.late.reply) && is_acknowledgement(request.reply);
  const Result first = read_answer(line, request, reply, nullptr, true);
  if (!ambiguous) return finish(line, request, first);
  finish(line, request, first, false);
  await_late_reply(line);
  std::memset(reply, 0, kFrameSize);
  send(line.port, request);
  return finish(line, request, read_answer(line, request, reply, nullptr, false));
}

}  // namespace tavik
