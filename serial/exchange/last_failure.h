// The calling thread's last failure in this library, which its C exports
// hand out through *_last_error(), *_last_refusal(), *_last_os_error() and
// *_last_error_detail(). This file is
// compiled into each library, so each keeps its own.
#pragma once

#include "serial/failures/command_result.h"

namespace tavik {

// Keeps `result` as the thread's last failure when it failed; a success
// leaves the last failure as it was. Returns result.code(), 0 or -1.
int note_result(Result result);
// The same for create with `port_name`, which fails with `why` or succeeds;
// a failure also keeps, as the last failure's detail, what is wrong with a
// name refused as a bad argument (port_name_problem), or where the name was
// looked for when that explains it (port_lookup_hint).
int note_open(int code, Result why, const char* port_name);

Result last_failure();
// More for a person about the last failure; "" when there is none.
const char* last_failure_detail();
// What an open of port_name reaches (port_target: the network port itself,
// also for a mapped COM name, else the device), kept for the calling thread
// until its next call.
const char* port_device(const char* port_name);

// The stable public code of a failure (tavik_rs232_error).
int error_code(Failure failure);
// The text for a public code: "no reply", ...; "unknown error" for others.
const char* error_text(int code);

}  // namespace tavik
