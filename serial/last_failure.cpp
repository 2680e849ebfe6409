#include "serial/last_failure.h"

#include <algorithm>
#include <iterator>

namespace tavik {
namespace {

thread_local Result last;

}  // namespace

int note_result(Result result) {
  if (!result.is_ok()) last = result;
  return result.code();
}

int note_open(int code, Result why) {
  if (code != 0) last = why.is_ok() ? Result(Failure::kOpenFailed) : why;
  return code;
}

Result last_failure() { return last; }

int error_code(Failure failure) { return failure_row(failure).code; }

const char* error_text(int code) {
  const auto* row = std::find_if(std::begin(kFailureRows), std::end(kFailureRows),
                                 [code](const FailureRow& r) { return r.code == code; });
  return row != std::end(kFailureRows) ? row->text : "unknown error";
}

}  // namespace tavik
