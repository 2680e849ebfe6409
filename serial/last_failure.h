// The calling thread's last failure in this library, which its C exports
// hand out through *_last_error(), *_last_refusal() and *_last_os_error(). This file is
// compiled into each library, so each keeps its own.
#pragma once

#include "serial/command_result.h"

namespace tavik {

// Keeps `result` as the thread's last failure when it failed; a success
// leaves the last failure as it was. Returns result.code(), 0 or -1.
int note_result(Result result);
// The same for create, which fails with `why` or succeeds.
int note_open(int code, Result why);

Result last_failure();

// The stable public code of a failure (tavik_rs232_error).
int error_code(Failure failure);
// The text for a public code: "no reply", ...; "unknown error" for others.
const char* error_text(int code);

}  // namespace tavik
