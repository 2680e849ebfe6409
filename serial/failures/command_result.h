// The outcome of one board command and, when it failed, why: carried from the
// reply readers up to the command functions. The C exports pass on code(),
// exactly 0 or -1; programs linking the internal libraries can say more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "serial/failures/failure_table.h"

namespace tavik {

// Why a call failed (kNone: it did not). The meaning of each is that of its
// public code in include/tavik/rs232_error.h; the rows are in failure_table.h.
enum class Failure : std::uint8_t {
#define TAVIK_FAILURE_VALUE(value, code, text, reason, exit_status) value,
  TAVIK_FAILURES(TAVIK_FAILURE_VALUE)
#undef TAVIK_FAILURE_VALUE
};

struct Result {
  Failure failure = Failure::kNone;
  std::uint8_t status = 0;  // the refusing status byte, for kRefused
  // The system's error behind the failure (errno on POSIX, GetLastError on
  // Windows), 0 when the failure had none.
  int os_error = 0;

  static constexpr Result ok() { return {}; }
  static constexpr Result refused(std::uint8_t status_byte) { return {Failure::kRefused, status_byte}; }
  constexpr Result() = default;
  constexpr Result(Failure f, std::uint8_t status_byte = 0) : failure(f), status(status_byte) {}
  static constexpr Result system(Failure f, int os_error) {
    Result result(f);
    result.os_error = os_error;
    return result;
  }

  constexpr bool is_ok() const { return failure == Failure::kNone; }
  constexpr int code() const { return is_ok() ? 0 : -1; }
  friend constexpr bool operator==(const Result&, const Result&) = default;
};

// A failure's row of failure_table.h.
struct FailureRow {
  Failure failure;
  int code;            // tavik_rs232_error
  const char* text;    // "no reply", as *_error_text() gives it
  const char* reason;  // the tool's code: "no-reply"
  int exit_status;     // the tool's: 1 a command failed, 3 a port could not be opened
};

inline constexpr FailureRow kFailureRows[] = {
#define TAVIK_FAILURE_ROW(value, code, text, reason, exit_status) \
  {Failure::value, code, text, reason, exit_status},
    TAVIK_FAILURES(TAVIK_FAILURE_ROW)
#undef TAVIK_FAILURE_ROW
};

constexpr const FailureRow& failure_row(Failure failure) {
  const auto index = static_cast<std::size_t>(failure);
  return kFailureRows[index < std::size(kFailureRows) ? index
                                                      : static_cast<std::size_t>(Failure::kOpenFailed)];
}

// A few words for a person: "no reply", "refused", ...; the libraries'
// *_error_text() gives the same.
constexpr const char* failure_name(Failure failure) { return failure_row(failure).text; }

// True for what a command fails with when its port went away and only a
// new open brings it back (serial_port_loss): the device lost, a network
// port's connection lost, or that connection turned away as busy.
constexpr bool is_port_loss(Failure failure) {
  return failure == Failure::kDeviceLost || failure == Failure::kConnectionLost ||
         failure == Failure::kPortBusy;
}

}  // namespace tavik
