// Every way a call into the libraries or the tool can fail, one row each.
// Each row: the Failure value, its public code (enum tavik_rs232_error in
// include/tavik/rs232_error.h, whose numbers never change), the text the
// libraries' *_error_text() and the tool give a person, the tool's stable
// reason code (`tavik --json`, man/tavik.1) and the tool's exit status.
// A new failure is one new row at the end, with its public code added to
// rs232_error.h; everything else (Failure, the texts, the codes) follows.
#pragma once

#include "tavik/rs232_error.h"

// ROW(value, public code, text, tool reason, tool exit status)
#define TAVIK_FAILURES(ROW)                                                                              \
  ROW(kNone, TAVIK_RS232_OK, "ok", "ok", 0)                                                              \
  ROW(kNotOpen, TAVIK_RS232_NOT_OPEN, "not open", "not-open", 1)                                         \
  ROW(kNoReply, TAVIK_RS232_NO_REPLY, "no reply", "no-reply", 1)                                         \
  ROW(kBadCheck, TAVIK_RS232_BAD_CHECK, "bad check byte", "bad-check-byte", 1)                           \
  ROW(kRefused, TAVIK_RS232_REFUSED, "refused", "refused", 1)                                            \
  ROW(kMalformed, TAVIK_RS232_MALFORMED, "malformed reply", "malformed-reply", 1)                        \
  ROW(kDeviceLost, TAVIK_RS232_DEVICE_LOST, "device lost", "device-lost", 1)                             \
  ROW(kBadArgument, TAVIK_RS232_BAD_ARGUMENT, "bad argument", "bad-argument", 1)                         \
  ROW(kInterrupted, TAVIK_RS232_INTERRUPTED, "interrupted by create or destroy", "connection-busy", 1)   \
  ROW(kMissing, TAVIK_RS232_MISSING, "missing", "port-missing", 3)                                       \
  ROW(kPortBusy, TAVIK_RS232_PORT_BUSY, "busy", "port-busy", 3)                                          \
  ROW(kNotSerial, TAVIK_RS232_NOT_SERIAL, "not a serial device", "not-a-serial-device", 3)               \
  ROW(kNoPermission, TAVIK_RS232_NO_PERMISSION, "permission denied", "permission-denied", 3)             \
  ROW(kOpenFailed, TAVIK_RS232_OPEN_FAILED, "cannot be opened", "open-failed", 3)                        \
  ROW(kUnexpected, TAVIK_RS232_UNEXPECTED_REPLY, "unexpected reply", "unexpected-reply", 1)              \
  ROW(kConnectionRefused, TAVIK_RS232_CONNECTION_REFUSED, "connection refused", "connection-refused", 3) \
  ROW(kHostNotFound, TAVIK_RS232_HOST_NOT_FOUND, "host not found", "host-not-found", 3)                  \
  ROW(kConnectionLost, TAVIK_RS232_CONNECTION_LOST, "connection lost", "connection-lost", 1)             \
  ROW(kSuperseded, TAVIK_RS232_SUPERSEDED, "superseded by a stop", "superseded", 1)
