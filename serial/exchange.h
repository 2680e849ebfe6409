// One exchange on a board's line: a request, and the reply of the one shape
// that answers it. Every command of both boards is built from these.
//
// The protocol carries no sequence number: a reply is matched to its request
// by its shape alone, so a reply of another shape is refused as unexpected,
// never taken for success. A reply that comes after its exchange gave up
// cannot always be told from the next request's: two status-only
// acknowledgements are the same bytes. The line narrows this down: after an
// exchange fails without an answer (no reply, bad check byte, malformed,
// unexpected), the failed request's reply may still come for one time-out.
// The next exchange first waits out that window, or less when a frame of the
// awaited shape comes in it; that frame is discarded as late. On a line where
// every exchange succeeds, nothing of this runs.
//
// A stop is never held back: it goes out at once, frames of other shapes
// are skipped while its answer is read, and where the awaited late reply is
// an acknowledgement like its own, the stop is sent once more after the
// window, so that the success reported is the board's answer to a stop.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "serial/command_result.h"
#include "serial/serial_port.h"

namespace tavik {

// The shapes of the boards' replies, named for what they carry.
enum class ReplyKind : std::uint8_t {
  kAck,        // STX, status, ETX, BCC: accepted with '0', else refused
  kStoredAck,  // kAck, where status '4' (stored) is accepted whatever the check byte
  kCounts,     // status '0' and two ten-character counts
  kValue,      // status '0' and a decimal value (a ';' and a further field may follow)
  kPowerText,  // text of nine or more ';'-separated fields, no status byte
  kEcho,       // text: the request's letters and code echoed back
  kCounted,    // STX, N, N data bytes, ETX, BCC; N at least Request::min_count
  kFixed12,    // STX, nine data bytes, ETX, BCC: exactly 12 bytes
};

inline constexpr int kMaxRequestSize = 32;

struct Request {
  const std::uint8_t* frame = nullptr;  // STX .. BCC
  int length = 0;
  ReplyKind reply = ReplyKind::kAck;
  int min_count = 0;         // kCounted: the fewest data bytes that answer
  bool purge_after = false;  // discard what follows the reply
};

// What a failed exchange leaves on its line: the shape of the reply that may
// still come, and until when it is awaited.
struct LateReplyWindow {
  bool open = false;  // guarded by the connection's lock, as the rest but `seen`
  std::chrono::steady_clock::time_point until{};
  ReplyKind reply = ReplyKind::kAck;
  int min_count = 0;
  std::uint8_t request[kMaxRequestSize] = {};
  int request_length = 0;
  std::atomic<unsigned> seen{0};  // late frames recognised and discarded
};

// A board's line for the length of one command, under the connection's lock.
struct Line {
  SerialPort* port;
  LateReplyWindow& late;
};

// Writes the request (after purging what came before it) and reads its
// reply into reply, a zero-filled buffer of kFrameSize bytes; *reply_length,
// when given, receives the reply's length. Waits out a late reply's window
// first. The trace gets the request's tx line and the reply's rx line with
// its outcome.
Result exchange(Line& line, const Request& request, std::uint8_t* reply, int* reply_length = nullptr);

// exchange for a stop: never waits for a late reply's window before it
// writes (see above).
Result exchange_stop(Line& line, const Request& request, std::uint8_t* reply);

}  // namespace tavik
