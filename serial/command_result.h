// The outcome of one board command and, when it failed, why: carried from the
// reply readers up to the command functions. The C exports pass on code(),
// exactly 0 or -1; programs linking the internal libraries can say more.
#pragma once

#include <cstdint>

namespace tavik {

enum class Failure : std::uint8_t {
  kNone,
  kNotOpen,      // no connection is open
  kNoReply,      // nothing came within the time-out
  kBadCheck,     // a whole frame came with a wrong check byte
  kRefused,      // the board answered with a status byte other than '0'
  kMalformed,    // a reply cut short, too long, or with its ETX out of place
  kDeviceLost,   // the port failed: the device was removed or hung up
  kBadArgument,  // refused here, nothing was sent
  kBusy,         // the connection was opened or closed while the call waited
  // Why a port could not be opened.
  kMissing,       // no such device
  kPortBusy,      // another program holds it
  kNotSerial,     // the name leads to something that is not a serial device
  kNoPermission,  // the device exists and may not be opened by this user
  kOpenFailed,    // any other reason
  // A whole, well-formed frame that does not answer the request: another
  // command's reply, late or foreign.
  kUnexpected,
  // Network ports (tcp://, rfc2217://): the server refused the connection
  // (nothing listens there), the host name did not resolve, or an open
  // connection dropped (goes through the reconnect as a lost device does).
  kConnectionRefused,
  kHostNotFound,
  kConnectionLost,
};

struct Result {
  Failure failure = Failure::kNone;
  std::uint8_t status = 0;  // the refusing status byte, for kRefused

  static constexpr Result ok() { return {}; }
  static constexpr Result refused(std::uint8_t status_byte) { return {Failure::kRefused, status_byte}; }
  constexpr Result() = default;
  constexpr Result(Failure f, std::uint8_t status_byte = 0) : failure(f), status(status_byte) {}

  constexpr bool is_ok() const { return failure == Failure::kNone; }
  constexpr int code() const { return is_ok() ? 0 : -1; }
  friend constexpr bool operator==(const Result&, const Result&) = default;
};

// A few words for a person: "no reply", "refused", ...
constexpr const char* failure_name(Failure failure) {
  switch (failure) {
    case Failure::kNone:
      return "ok";
    case Failure::kNotOpen:
      return "not open";
    case Failure::kNoReply:
      return "no reply";
    case Failure::kBadCheck:
      return "bad check byte";
    case Failure::kRefused:
      return "refused";
    case Failure::kMalformed:
      return "malformed reply";
    case Failure::kDeviceLost:
      return "device lost";
    case Failure::kBadArgument:
      return "bad argument";
    case Failure::kBusy:
      return "busy";
    case Failure::kMissing:
      return "missing";
    case Failure::kPortBusy:
      return "port busy";
    case Failure::kNotSerial:
      return "not a serial device";
    case Failure::kNoPermission:
      return "permission denied";
    case Failure::kOpenFailed:
      return "cannot be opened";
    case Failure::kUnexpected:
      return "unexpected reply";
    case Failure::kConnectionRefused:
      return "connection refused";
    case Failure::kHostNotFound:
      return "host not found";
    case Failure::kConnectionLost:
      return "connection lost";
  }
  return "unknown";
}

}  // namespace tavik
