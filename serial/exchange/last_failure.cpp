#include "serial/exchange/last_failure.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "serial/names/port_map.h"
#include "serial/names/port_path.h"
#include "serial/names/port_url.h"
#include "serial/transport/serial_port.h"

namespace tavik {
namespace {

thread_local Result last;
thread_local std::string last_detail;

}  // namespace

int note_result(Result result) {
  if (!result.is_ok()) {
    last = result;
    last_detail.clear();
  }
  return result.code();
}

int note_open(int code, Result why, const char* port_name) {
  if (code != 0) {
    last = why.is_ok() ? Result(Failure::kOpenFailed) : why;
    // Where a COM name is looked for says nothing of one mapped to a network port.
    if (last.failure == Failure::kBadArgument) {
      last_detail = port_name_problem(port_name);
    } else if (port_name != nullptr && is_port_url(port_to_open(port_name))) {
      last_detail.clear();
    } else {
      last_detail = port_lookup_hint(port_name, last.failure);
    }
  }
  return code;
}

Result last_failure() { return last; }

const char* last_failure_detail() { return last_detail.c_str(); }

const char* port_device(const char* port_name) {
  thread_local std::string device;
  device = port_name != nullptr ? port_target(port_name) : std::string();
  return device.c_str();
}

int error_code(Failure failure) { return failure_row(failure).code; }

const char* error_text(int code) {
  const auto* row = std::find_if(std::begin(kFailureRows), std::end(kFailureRows),
                                 [code](const FailureRow& r) { return r.code == code; });
  return row != std::end(kFailureRows) ? row->text : "unknown error";
}

}  // namespace tavik
