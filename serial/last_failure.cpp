#include "serial/last_failure.h"

#include "tavik/rs232_error.h"

namespace tavik {
namespace {

thread_local Result last;

}  // namespace

int note_result(Result result) {
  if (!result.is_ok()) last = result;
  return result.code();
}

int note_open(int code, Failure why) {
  if (code != 0) last = Result(why == Failure::kNone ? Failure::kOpenFailed : why);
  return code;
}

Result last_failure() { return last; }

int error_code(Failure failure) {
  switch (failure) {
    case Failure::kNone:
      return TAVIK_RS232_OK;
    case Failure::kNotOpen:
      return TAVIK_RS232_NOT_OPEN;
    case Failure::kNoReply:
      return TAVIK_RS232_NO_REPLY;
    case Failure::kBadCheck:
      return TAVIK_RS232_BAD_CHECK;
    case Failure::kRefused:
      return TAVIK_RS232_REFUSED;
    case Failure::kMalformed:
      return TAVIK_RS232_MALFORMED;
    case Failure::kDeviceLost:
      return TAVIK_RS232_DEVICE_LOST;
    case Failure::kBadArgument:
      return TAVIK_RS232_BAD_ARGUMENT;
    case Failure::kBusy:
      return TAVIK_RS232_INTERRUPTED;
    case Failure::kMissing:
      return TAVIK_RS232_MISSING;
    case Failure::kPortBusy:
      return TAVIK_RS232_PORT_BUSY;
    case Failure::kNotSerial:
      return TAVIK_RS232_NOT_SERIAL;
    case Failure::kNoPermission:
      return TAVIK_RS232_NO_PERMISSION;
    case Failure::kOpenFailed:
      return TAVIK_RS232_OPEN_FAILED;
    case Failure::kUnexpected:
      return TAVIK_RS232_UNEXPECTED_REPLY;
    case Failure::kConnectionRefused:
      return TAVIK_RS232_CONNECTION_REFUSED;
    case Failure::kHostNotFound:
      return TAVIK_RS232_HOST_NOT_FOUND;
    case Failure::kConnectionLost:
      return TAVIK_RS232_CONNECTION_LOST;
  }
  return TAVIK_RS232_OPEN_FAILED;
}

const char* error_text(int code) {
  switch (code) {
    case TAVIK_RS232_OK:
      return "ok";
    case TAVIK_RS232_NOT_OPEN:
      return "not open";
    case TAVIK_RS232_NO_REPLY:
      return "no reply";
    case TAVIK_RS232_BAD_CHECK:
      return "bad check byte";
    case TAVIK_RS232_REFUSED:
      return "refused";
    case TAVIK_RS232_MALFORMED:
      return "malformed reply";
    case TAVIK_RS232_DEVICE_LOST:
      return "device lost";
    case TAVIK_RS232_BAD_ARGUMENT:
      return "bad argument";
    case TAVIK_RS232_INTERRUPTED:
      return "interrupted by create or destroy";
    case TAVIK_RS232_MISSING:
      return "missing";
    case TAVIK_RS232_PORT_BUSY:
      return "busy";
    case TAVIK_RS232_NOT_SERIAL:
      return "not a serial device";
    case TAVIK_RS232_NO_PERMISSION:
      return "permission denied";
    case TAVIK_RS232_OPEN_FAILED:
      return "cannot be opened";
    case TAVIK_RS232_UNEXPECTED_REPLY:
      return "unexpected reply";
    case TAVIK_RS232_CONNECTION_REFUSED:
      return "connection refused";
    case TAVIK_RS232_HOST_NOT_FOUND:
      return "host not found";
    case TAVIK_RS232_CONNECTION_LOST:
      return "connection lost";
    default:
      return "unknown error";
  }
}

}  // namespace tavik
