// One exchange on a board's line: a request, and the reply of the one shape
// that answers it. Every command of both boards is built from these.
//
// The protocol carries no sequence number: a reply is matched to its request
// by its shape alone. A request is always sent at once. After an exchange
// got no answer (nothing came, or only another request's frame), its reply
// may still come for one time-out: while that window is open, a frame that
// answers the failed request and not the new one, or the failed one in the
// board's usual form and the new one only as the contract allows, is
// dropped as late and the new reply is read on. Frames of two shapes (the
// 12-byte status frame behind an acknowledgement, say) are told apart by
// framing the same bytes both ways.
//
// Where the two replies cannot be told apart (two acknowledgements), the
// next frame decides: the boards answer in order, so a second frame is the
// new request's answer. When none comes before the window closes, the
// request goes once more and that answer counts; the answer to the other of
// the two may still come, and only a frame that answers it better than the
// next request is dropped for it. Every command of these
// boards can be repeated safely (a velocity, a switch, a register write, a
// reset, a read), which this relies on. Two velocities alike need no such
// settling: whichever of the two the acknowledgement answers, the board was
// told that velocity and holds it, so it is taken at once, and the window
// stays open for the other answer. Reads and switches give up the settling
// as soon as a velocity waits for the line, and fail as unexpected (their own
// answer still awaited as late, as after a request sent twice: the next
// request takes a frame that answers both as its own, so that a read of
// the same kind does not give way in turn), so that motion waits for no
// window; a late reply already on the line when the next request goes is
// recognised, not purged unseen; a
// moving velocity gives it up once a stop has been asked for.
//
// A frame that came before the request went out is never its answer: after
// a success a copy of the answer (a board that sent it twice) is awaited
// for a short while as a late reply is, a frame that is that copy byte for
// byte being the old request's. A request that such a copy would answer as
// well (the same read again) goes only once the copy window has closed, so
// that what comes is its answer; a velocity waiting for the line cuts that
// wait short, and the frame is then settled as above. An acknowledgement (or
// a setting's echo) carries nothing to tell its copy by, and writes come in
// series acknowledged one after the other: there it is the answer.
//
// Bytes that arrived are judged before the clock: a thread held up past the
// time-out still takes the reply that came in time.
//
// A bad check byte or a frame cut short was the answer, spoiled: no window
// follows it. So a silent board costs one time-out per exchange.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "serial/codec/frame_codec.h"
#include "serial/failures/command_result.h"
#include "serial/transport/serial_port.h"

namespace tavik {

// The shapes of the boards' replies, named for what they carry.
enum class ReplyKind : std::uint8_t {
  kAck,        // STX, status, data (not used), ETX, BCC: accepted with '0', else refused
  kStoredAck,  // kAck, where status '4' (stored) is accepted whatever the check byte
  kCounts,     // status '0' and two ten-character counts
  kValue,      // status '0' and a decimal value (a ';' and a further field may follow)
  kPowerText,  // text of nine or more ';'-separated fields, no status byte
  kEcho,       // text, any; the board echoes the request's letters and code
  kCounted,    // STX, N, N data bytes, ETX, BCC; N at least Request::min_count
  kFixed12,    // STX, nine data bytes, ETX, BCC: exactly 12 bytes
};

// What a request does to the wheels.
enum class Motion : std::uint8_t {
  kNone,  // a read, a switch, a register: gives way to motion
  kMove,  // a velocity other than 0,0
  kStop,  // the velocity 0,0
};

inline constexpr int kMaxRequestSize = 32;

struct Request {
  const std::uint8_t* frame = nullptr;  // STX .. BCC
  int length = 0;
  ReplyKind reply = ReplyKind::kAck;
  int min_count = 0;         // kCounted: the fewest data bytes that answer
  bool purge_after = false;  // discard what follows the reply
  Motion motion = Motion::kNone;
};

// What a failed exchange leaves on its line: the request whose reply may
// still come, and until when it is awaited.
struct LateReplyWindow {
  bool open = false;  // guarded by the connection's lock, as the rest but `seen`
  // The request went twice and one answer was taken: the other may come, or
  // may have been the one taken. Only a frame that answers it better than
  // the new request is dropped; one that answers both alike is the new one's.
  bool doubtful = false;
  // The request was answered: only a copy of its answer, byte for byte, is
  // awaited (a board that sent it twice).
  bool copy = false;
  std::chrono::steady_clock::time_point until{};
  ReplyKind reply = ReplyKind::kAck;
  int min_count = 0;
  std::uint8_t request[kMaxRequestSize] = {};
  int request_length = 0;
  std::uint8_t answer[kFrameSize] = {};  // copy: the answer taken
  int answer_length = 0;
  std::atomic<unsigned> seen{0};  // late frames and copies recognised and discarded
};

// What the connection knows of the wheels, read by exchanges in progress.
struct MotionState {
  std::atomic<unsigned> stops{0};        // stops asked for, counted as they begin to wait
  std::atomic<unsigned> stops_ended{0};  // of those, the ones over (sent or failed)
  std::atomic<int> waiting{0};           // velocities waiting for the line
};

// A board's line for the length of one command, under the connection's lock.
struct Line {
  SerialPort* port;
  LateReplyWindow& late;
  MotionState& motion;
  unsigned stops_seen = 0;  // motion.stops when the command began
  // A read that would wait out a copy of the last answer while a velocity
  // waits may leave the line to it before anything of the command was sent:
  // it then sets yielded and fails, and the command is run again after the
  // velocity.
  bool may_yield = false;
  bool yielded = false;
  int sent = 0;  // requests written
};

// Writes the request (after purging what came before it) and reads its
// reply into reply, a zero-filled buffer of kFrameSize bytes; *reply_length,
// when given, receives the reply's length. The trace gets the request's tx
// line and the reply's rx line with its outcome. A moving velocity that
// gives way to a stop fails as superseded.
Result exchange(Line& line, const Request& request, std::uint8_t* reply, int* reply_length = nullptr);

}  // namespace tavik
