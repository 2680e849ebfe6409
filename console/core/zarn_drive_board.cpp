#include "console/core/zarn_drive_board.h"

#include "facts/drvb_facts.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {
namespace {

// The failure of the calling thread's last library call, which failed.
Result last_failure() {
  const int code = zarn_rs232_last_error();
  for (const FailureRow& row : kFailureRows) {
    if (row.code == code && row.failure != Failure::kNone) return Result(row.failure);
  }
  return Result(Failure::kNoReply);
}

}  // namespace

drive::Answer ZarnDriveBoard::exchange(const drive::Exchange& exchange) {
  drive::Answer answer;
  int* const v = answer.values;
  int ret = 0;
  switch (exchange.kind) {
    case drive::Exchange::Kind::kVelocity:
      ret = measure_([&] { return zarn_rs232_drvb_set_velocity(exchange.left, exchange.right); });
      break;
    case drive::Exchange::Kind::kReadMaxVelocity:
      ret = measure_([&] { return zarn_rs232_drvb_read_parameter(drvb::kMaxVelocityId, &v[0]); });
      break;
    case drive::Exchange::Kind::kReadStatus: {
      // The exports read the one request's two halves apart.
      char left = 0, right = 0;
      ret = measure_([&] { return zarn_rs232_drvb_read_bumper_emg(&v[0], &v[1], &v[2]); });
      if (ret == 0) ret = measure_([&] { return zarn_rs232_drvb_read_drive_err(&left, &right); });
      v[3] = left;
      v[4] = right;
      break;
    }
  }
  if (ret != 0) answer.result = last_failure();
  return answer;
}

}  // namespace tavik::console
