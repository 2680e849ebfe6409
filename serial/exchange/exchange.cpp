#include "serial/exchange/exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "serial/codec/frame_codec.h"
#include "serial/exchange/reply_readers.h"
#include "serial/exchange/reply_shapes.h"
#include "serial/transport/wire_trace.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// While a moving velocity waits for a frame that may settle it, how often it
// looks whether a stop was asked for meanwhile.
constexpr int kStopLookMs = 10;

// The failures after which the failed request's reply may still be on its way.
bool answer_may_follow(Failure failure) {
  return failure == Failure::kNoReply || failure == Failure::kUnexpected || failure == Failure::kSuperseded;
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

void open_window(LateReplyWindow& late, const SerialPort* port, const Request& request, bool doubtful) {
  late.open = true;
  late.doubtful = doubtful;
  late.until = Clock::now() + std::chrono::milliseconds(serial_port_timeout(port));
  late.reply = request.reply;
  late.min_count = request.min_count;
  late.request_length = std::min(request.length, kMaxRequestSize);
  std::memcpy(late.request, request.frame, static_cast<std::size_t>(late.request_length));
}

Judgement judge_ours(const Request& request, const std::uint8_t* frame, int length) {
  return judge_reply(request.reply, request.min_count, request.frame, request.length, frame, length);
}

Judgement judge_late(const LateReplyWindow& late, const std::uint8_t* frame, int length) {
  return judge_reply(late.reply, late.min_count, late.request, late.request_length, frame, length);
}

bool answers(const Judgement& j) { return j.fit != Fit::kNone; }

// A frame read while a late reply may come.
enum class Claim { kOurs, kLate, kEither };

Claim claim(const Judgement& ours, const Judgement& late, bool doubtful) {
  if (!answers(late)) return Claim::kOurs;  // ours, or no one's: judged as ours
  if (!answers(ours)) return Claim::kLate;
  if (ours.fit != late.fit) return ours.fit > late.fit ? Claim::kOurs : Claim::kLate;
  return doubtful ? Claim::kOurs : Claim::kEither;
}

// What one frame read on the line turned out to be.
struct Scan {
  enum Kind { kOurs, kLate, kEither, kNothing } kind = kNothing;
  Result result;  // kOurs: its judgement; kNothing: why nothing came
  int length = 0;
};

struct ScanTarget {
  const Request& request;
  const LateReplyWindow* late;  // null: no late reply is awaited
  Clock::time_point until;
  bool stoppable;  // gives up as superseded once a stop is asked for
};

bool stop_asked(const Line& line) { return line.motion.stops.load() != line.stops_seen; }

// Reads one frame into reply by target.until. With a late reply awaited in
// another shape, the same bytes are framed both ways: whichever frame is
// complete first and answers its request claims them; a frame that answers
// neither is the new request's failure, once the other framing has failed
// too or the bytes have stopped.
Scan scan(Line& line, const ScanTarget& target, std::uint8_t* reply) {
  const Request& request = target.request;
  const LateReplyWindow* late = target.late;
  const FrameShape our_shape = frame_shape(request.reply);
  const bool two = late != nullptr && frame_shape(late->reply) != our_shape;
  std::uint8_t late_frame[kFrameSize] = {};
  FrameAssembler ours(reply, kFrameSize, our_shape);
  FrameAssembler other(late_frame, kFrameSize, two ? frame_shape(late->reply) : our_shape);
  const LengthHint hint = length_hint(request.reply, request.length);
  bool ours_live = true;
  bool other_live = two;
  std::optional<Scan> ours_failed;  // complete, answering nothing: waits for the other framing
  Result nothing{Failure::kNoReply};
  int past_due = 0;  // bytes taken after the time ran out
  for (;;) {
    const auto now = Clock::now();
    auto until = target.until;
    if (ours_failed) until = std::min(until, now + std::chrono::milliseconds(kReadGapMs));
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    // Bytes that have arrived are judged before the clock is: a thread held
    // up past the time (a loaded machine) still takes what came in time, at
    // once and at most a frame's worth of it.
    const bool due = left <= 0;
    if (due && past_due++ == static_cast<int>(kFrameSize)) break;
    if (due) left = 0;
    if (target.stoppable) left = std::min<long long>(left, kStopLookMs);
    std::size_t to_come = ours_live && !ours_failed ? bytes_to_come(ours, reply, hint) : kFrameSize;
    if (other_live) to_come = std::min(to_come, other.bytes_to_come(0));
    std::uint8_t byte = 0;
    const int got =
        serial_port_read_within(line.port, &byte, 1, static_cast<int>(left), static_cast<int>(to_come));
    if (got < 0) {
      nothing = serial_port_loss(line.port);
      break;
    }
    if (got == 0) {
      // Only a wait cut into slices goes on after an empty read.
      if (due || !target.stoppable) break;
      if (stop_asked(line)) return {Scan::kNothing, Result(Failure::kSuperseded)};
      continue;
    }
    nothing = Failure::kMalformed;  // something came: from here on, a frame cut short
    const auto step_ours = ours_live && !ours_failed ? ours.feed(byte) : FrameAssembler::Step::kMore;
    const auto step_other = other_live ? other.feed(byte) : FrameAssembler::Step::kMore;
    const bool ours_complete = ours_live && !ours_failed && step_ours == FrameAssembler::Step::kComplete;
    if (other_live && step_other == FrameAssembler::Step::kComplete) {
      other_live = false;
      const int length = static_cast<int>(other.size());
      const Judgement as_late = judge_late(*late, late_frame, length);
      if (answers(as_late)) {
        // Complete in both framings at once: the same bytes, judged for both.
        const int our_length = static_cast<int>(ours.size());
        if (!ours_complete) return {Scan::kLate, {}, length};
        const Judgement as_ours = judge_ours(request, reply, our_length);
        const Claim c = claim(as_ours, as_late, late->doubtful);
        if (c == Claim::kLate) return {Scan::kLate, {}, length};
        return {c == Claim::kOurs ? Scan::kOurs : Scan::kEither, as_ours.result, our_length};
      }
      if (ours_failed) return *ours_failed;
    }
    if (other_live && step_other == FrameAssembler::Step::kOverflow) {
      other_live = false;
      if (ours_failed) return *ours_failed;
    }
    if (ours_complete) {
      const int length = static_cast<int>(ours.size());
      const Judgement as_ours = judge_ours(request, reply, length);
      if (late != nullptr && !two) {
        const Claim c = claim(as_ours, judge_late(*late, reply, length), late->doubtful);
        if (c == Claim::kLate) return {Scan::kLate, {}, length};
        return {c == Claim::kOurs ? Scan::kOurs : Scan::kEither, as_ours.result, length};
      }
      if (answers(as_ours) || !other_live) return {Scan::kOurs, as_ours.result, length};
      ours_failed = Scan{Scan::kOurs, as_ours.result, length};
    }
    if (ours_live && step_ours == FrameAssembler::Step::kOverflow) {
      ours_live = false;
      if (!other_live) break;
    }
    if (!ours_live && !other_live) break;
  }
  if (ours_failed) return *ours_failed;
  serial_port_purge(line.port);
  return {Scan::kNothing, nothing};
}

// A frame that answered the failed request: dropped, traced and counted.
void discard_late(Line& line) {
  serial_port_trace_end(line.port, "late", nullptr);
  ++line.late.seen;
  line.late.open = false;
}

void send(SerialPort* port, const Request& request) {
  serial_port_purge(port);
  serial_port_write(port, request.frame, request.length);
}

// Our frame, judged: the line after a counted or fixed frame is purged, as
// whatever follows is not of it.
Result take(Line& line, const Request& request, const Scan& s, int* reply_length) {
  if (frame_shape(request.reply) != FrameShape::kEtxTerminated) serial_port_purge(line.port);
  if (s.result.is_ok() && reply_length != nullptr) *reply_length = s.length;
  return s.result;
}

// The answer read, and whether the request's own reply may still come.
struct Answer {
  Result result;
  bool may_follow = true;   // after a failure: its reply may still come
  bool sent_twice = false;  // two of it went out: the answer to the other may still come
};

Answer read_answer(Line& line, const Request& request, std::uint8_t* reply, int* reply_length);

// The frame in reply answers both the late request and this one alike.
// The boards answer in order: a frame after it is this request's answer and
// it was the late one. When none comes before the window closes, this
// request goes once more, unless it is a read while a velocity waits for the
// line (it gives way) or a moving velocity that a stop has overtaken. Its own
// reply would have followed the late one at once: none is awaited after it,
// unless it went twice: the answer taken may be the first one's, late, and
// the second's may still come.
Answer settle(Line& line, const Request& request, std::uint8_t* reply, int* reply_length,
              Clock::time_point deadline) {
  const bool stoppable = request.motion == Motion::kMove;
  std::memset(reply, 0, kFrameSize);
  const Scan next = scan(line, {request, nullptr, std::min(deadline, line.late.until), stoppable}, reply);
  if (next.kind == Scan::kOurs) {
    ++line.late.seen;
    line.late.open = false;
    return {take(line, request, next, reply_length)};
  }
  line.late.open = false;
  const Failure failure = next.result.failure;
  if (failure == Failure::kSuperseded || is_port_loss(failure)) return {next.result, false};
  if (request.motion == Motion::kNone && line.motion.waiting.load() > 0) return {Failure::kUnexpected, false};
  if (stoppable && stop_asked(line)) return {Failure::kSuperseded, false};
  serial_port_trace_end(line.port, "purged", nullptr);
  std::memset(reply, 0, kFrameSize);
  send(line.port, request);
  Answer again = read_answer(line, request, reply, reply_length);
  again.sent_twice = true;
  return again;
}

Answer read_answer(Line& line, const Request& request, std::uint8_t* reply, int* reply_length) {
  const auto deadline = reply_deadline(line.port);
  for (;;) {
    const LateReplyWindow* late = line.late.open ? &line.late : nullptr;
    const Scan s = scan(line, {request, late, deadline, false}, reply);
    switch (s.kind) {
      case Scan::kOurs:
        return {take(line, request, s, reply_length)};
      case Scan::kNothing:
        return {s.result};
      case Scan::kLate:
        discard_late(line);
        std::memset(reply, 0, kFrameSize);
        break;
      case Scan::kEither:
        return settle(line, request, reply, reply_length, deadline);
    }
  }
}

}  // namespace

Result exchange(Line& line, const Request& request, std::uint8_t* reply, int* reply_length) {
  if (line.late.open && Clock::now() >= line.late.until) line.late.open = false;
  send(line.port, request);
  const Answer answer = read_answer(line, request, reply, reply_length);
  Result result = answer.result;
  // The stored-write answer whose frame was spoiled after its status byte.
  if (request.reply == ReplyKind::kStoredAck && result.failure == Failure::kMalformed &&
      reply[1] == kStatusStored)
    result = Result::ok();
  if (request.purge_after) serial_port_purge(line.port);
  trace_outcome(line.port, result);
  if (answer.may_follow && answer_may_follow(result.failure))
    open_window(line.late, line.port, request, false);
  else if (answer.sent_twice)
    open_window(line.late, line.port, request, true);
  return result;
}

}  // namespace tavik
