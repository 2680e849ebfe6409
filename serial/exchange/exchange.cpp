#include "serial/exchange/exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "serial/codec/frame_codec.h"
#include "serial/exchange/reply_readers.h"
#include "serial/exchange/reply_shapes.h"
#include "serial/transport/wire_trace.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// While a request waits for a frame that may settle it, how often it looks
// whether it should give way (a stop asked for, a velocity waiting).
constexpr int kStopLookMs = 10;
// How long after an answer a copy of it is looked for: a board that sends a
// reply twice sends the copy straight behind it, and a copy that comes after
// the next request went out must not be taken for that one's answer.
constexpr auto kCopyWindow = std::chrono::milliseconds(20);

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
  late.copy = false;
  late.until = Clock::now() + std::chrono::milliseconds(serial_port_timeout(port));
  late.reply = request.reply;
  late.min_count = request.min_count;
  late.request_length = std::min(request.length, kMaxRequestSize);
  std::memcpy(late.request, request.frame, static_cast<std::size_t>(late.request_length));
}

// After a success: a copy of its answer may follow it for kCopyWindow.
void open_copy_window(LateReplyWindow& late, const SerialPort* port, const Request& request,
                      const std::uint8_t* answer, int length) {
  open_window(late, port, request, false);
  late.copy = true;
  late.until = Clock::now() + kCopyWindow;
  late.answer_length = std::min(length, static_cast<int>(kFrameSize));
  std::memcpy(late.answer, answer, static_cast<std::size_t>(late.answer_length));
}

// A failed request's answer is still awaited (not only a copy of one taken).
bool awaiting_late(const LateReplyWindow& late) {
  return late.open && !late.copy && Clock::now() < late.until;
}

// The request in the window and this one do the same: two velocities alike.
// Whichever of the two an acknowledgement answers, the board was told the
// same velocity and holds it; the other's answer may still come. A read is
// not such a request: an earlier answer tells what was, not what is.
bool same_effect(const LateReplyWindow& late, const Request& request) {
  return request.motion != Motion::kNone && late.request_length == request.length &&
         std::memcmp(late.request, request.frame, static_cast<std::size_t>(request.length)) == 0;
}

// An acknowledgement (or a setting's echo) carries nothing that tells a copy
// of the last one from the answer to the next request, and a series of
// writes (two registers and their closing, a switch and its second command,
// settings clicked one after another) is answered by one acknowledgement
// after another: there the frame is taken, as the board's answers come in
// order and a copy is rarer than the cost of settling each.
bool carries_nothing(ReplyKind kind) {
  return kind == ReplyKind::kAck || kind == ReplyKind::kStoredAck || kind == ReplyKind::kEcho;
}

Judgement judge_ours(const Request& request, const std::uint8_t* frame, int length) {
  return judge_reply(request.reply, request.min_count, request.frame, request.length, frame, length);
}

Judgement judge_late(const LateReplyWindow& late, const std::uint8_t* frame, int length) {
  if (late.copy && (length != late.answer_length ||
                    std::memcmp(frame, late.answer, static_cast<std::size_t>(length)) != 0))
    return {Result(Failure::kUnexpected), Fit::kNone};
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
  // kGaveWay: the wait was given up for another's request.
  enum Kind { kOurs, kLate, kEither, kNothing, kGaveWay } kind = kNothing;
  Result result;  // kOurs: its judgement; kNothing, kGaveWay: why nothing came
  int length = 0;
};

// For whom a wait that only settles which request a frame answered is given up.
enum class GiveWay : std::uint8_t {
  kNever,
  kToStop,    // a moving velocity: once a stop is asked for, superseded
  kToMotion,  // a read or a switch: once a velocity waits for the line, unexpected
};

struct ScanTarget {
  const Request& request;
  const LateReplyWindow* late;  // null: no late reply is awaited
  Clock::time_point until;
  GiveWay give_way = GiveWay::kNever;
};

bool stop_asked(const Line& line) { return line.motion.stops.load() != line.stops_seen; }

// Why the wait is given up now, or ok.
Result must_give_way(const Line& line, GiveWay give_way) {
  if (give_way == GiveWay::kToStop && stop_asked(line)) return Failure::kSuperseded;
  if (give_way == GiveWay::kToMotion && line.motion.waiting.load() > 0) return Failure::kUnexpected;
  return Result::ok();
}

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
    if (target.give_way != GiveWay::kNever) left = std::min<long long>(left, kStopLookMs);
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
      if (due || target.give_way == GiveWay::kNever) break;
      if (const Result why = must_give_way(line, target.give_way); !why.is_ok()) return {Scan::kGaveWay, why};
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

// A frame that answered the failed request, or a copy of the last answer:
// dropped, traced and counted.
void discard_late(Line& line) {
  serial_port_trace_end(line.port, line.late.copy ? "copy" : "late", nullptr);
  ++line.late.seen;
  line.late.open = false;
}

void send(Line& line, const Request& request) {
  serial_port_purge(line.port);
  serial_port_write(line.port, request.frame, request.length);
  ++line.sent;
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
  int length = 0;           // our frame's
  bool may_follow = true;   // after a failure: its reply may still come
  bool sent_twice = false;  // two of it went out: the answer to the other may still come
  // Taken where the frame may have been the late one's (same_effect): this
  // request's own answer may still come.
  bool own_may_follow = false;
  // Gave way with a frame that answered it or the late one: the other answer
  // may come, or may have been the one read, as after a request sent twice.
  bool gave_way = false;
};

Answer ours(Line& line, const Request& request, const Scan& s, int* reply_length) {
  return {take(line, request, s, reply_length), s.length};
}

Answer read_answer(Line& line, const Request& request, std::uint8_t* reply, int* reply_length);

// The frame in reply answers both the late request (or the last answer,
// sent twice) and this one alike. The boards answer in order: a frame after
// it is this request's answer and it was the late one. When none comes
// before the window closes, this request goes once more, unless it is a read
// or a switch while a velocity waits for the line, or a moving velocity that
// a stop has overtaken: these give way as soon as that happens, also while
// they wait, and a read's own answer may then still come. Its own reply
// would have followed the late one at once: none is awaited after it,
// unless it went twice: the answer taken may be the first one's, late, and
// the second's may still come.
Answer settle(Line& line, const Request& request, std::uint8_t* reply, int* reply_length,
              Clock::time_point deadline) {
  const GiveWay give_way = request.motion == Motion::kMove   ? GiveWay::kToStop
                           : request.motion == Motion::kNone ? GiveWay::kToMotion
                                                             : GiveWay::kNever;
  std::memset(reply, 0, kFrameSize);
  const Scan next = scan(line, {request, nullptr, std::min(deadline, line.late.until), give_way}, reply);
  if (next.kind == Scan::kOurs) {
    ++line.late.seen;
    line.late.open = false;
    return ours(line, request, next, reply_length);
  }
  line.late.open = false;
  if (next.kind == Scan::kGaveWay) {
    Answer gave{next.result, 0, false};
    gave.gave_way = next.result.failure == Failure::kUnexpected;
    return gave;
  }
  const Failure failure = next.result.failure;
  if (failure == Failure::kSuperseded || is_port_loss(failure)) return {next.result, 0, false};
  if (const Result why = must_give_way(line, give_way); !why.is_ok()) return {why, 0, false};
  serial_port_trace_end(line.port, "purged", nullptr);
  std::memset(reply, 0, kFrameSize);
  send(line, request);
  Answer again = read_answer(line, request, reply, reply_length);
  again.sent_twice = true;
  return again;
}

Answer read_answer(Line& line, const Request& request, std::uint8_t* reply, int* reply_length) {
  const auto deadline = reply_deadline(line.port);
  for (;;) {
    const LateReplyWindow* late = line.late.open ? &line.late : nullptr;
    const Scan s = scan(line, {request, late, deadline, GiveWay::kNever}, reply);
    switch (s.kind) {
      case Scan::kOurs:
        return ours(line, request, s, reply_length);
      case Scan::kNothing:
      case Scan::kGaveWay:
        return {s.result};
      case Scan::kLate:
        discard_late(line);
        std::memset(reply, 0, kFrameSize);
        break;
      case Scan::kEither:
        if (line.late.copy && carries_nothing(request.reply)) {
          line.late.open = false;
          return ours(line, request, s, reply_length);
        }
        if (same_effect(line.late, request)) {
          Answer taken = ours(line, request, s, reply_length);
          taken.own_may_follow = true;
          line.late.open = false;
          return taken;
        }
        return settle(line, request, reply, reply_length, deadline);
    }
  }
}

// A late reply that has already arrived is recognised before the purge
// ahead of the next request, so that its window closes then rather than
// staying open over that request, whose answer it could have been: a read
// that gave way to a velocity leaves its other answer on the line, and the
// velocity's purge threw it away unseen, so the next read of its kind was
// taken as ambiguous and gave way too, poll after poll while a drive was
// held. Only bytes already there are read, at most a frame of them.
void take_arrived_late(Line& line) {
  LateReplyWindow& late = line.late;
  if (!late.open || late.copy) return;
  std::uint8_t frame[kFrameSize] = {};
  FrameAssembler assembler(frame, kFrameSize, frame_shape(late.reply));
  std::size_t taken = 0;
  for (; taken < kFrameSize; ++taken) {
    std::uint8_t byte = 0;
    if (serial_port_read_within(line.port, &byte, 1, 0) <= 0) break;
    const FrameAssembler::Step step = assembler.feed(byte);
    if (step == FrameAssembler::Step::kOverflow) break;
    if (step == FrameAssembler::Step::kComplete) {
      if (answers(judge_late(late, frame, static_cast<int>(assembler.size())))) {
        discard_late(line);
        return;
      }
      break;
    }
  }
  if (taken > 0) serial_port_trace_end(line.port, "purged", nullptr);
}

// A copy of the last answer that could be taken for this request's (the
// same read again) is waited out before the request goes: the purge before
// it throws the copy away, and the answer that follows is this request's, at
// the cost of the rest of the copy window rather than a window and a repeat.
// A velocity waiting for the line cuts the wait short (returns false); the
// frame that could be either is then settled as any other.
bool wait_out_copy(Line& line, const Request& request) {
  LateReplyWindow& late = line.late;
  if (!late.open || !late.copy || carries_nothing(request.reply)) return true;
  if (!answers(judge_ours(request, late.answer, late.answer_length))) return true;
  const GiveWay give_way = request.motion == Motion::kNone ? GiveWay::kToMotion : GiveWay::kNever;
  for (auto now = Clock::now(); now < late.until; now = Clock::now()) {
    if (!must_give_way(line, give_way).is_ok()) return false;
    std::this_thread::sleep_until(std::min(late.until, now + std::chrono::milliseconds(kStopLookMs)));
  }
  late.open = false;
  return true;
}

}  // namespace

Result exchange(Line& line, const Request& request, std::uint8_t* reply, int* reply_length) {
  if (line.late.open && Clock::now() >= line.late.until) line.late.open = false;
  take_arrived_late(line);
  if (!wait_out_copy(line, request) && line.may_yield && line.sent == 0) {
    // Nothing of the command went yet: it goes again after the velocity.
    line.yielded = true;
    return Failure::kUnexpected;
  }
  send(line, request);
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
  else if (answer.sent_twice || answer.gave_way)
    open_window(line.late, line.port, request, true);
  else if (answer.own_may_follow)
    open_window(line.late, line.port, request, false);
  else if (result.is_ok() && answer.length > 0 && !awaiting_late(line.late))
    open_copy_window(line.late, line.port, request, reply, answer.length);
  return result;
}

}  // namespace tavik
