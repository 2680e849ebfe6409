#include "drive/drvb_board.h"

#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"

namespace tavik::drive {

Answer DrvbBoard::exchange(const Exchange& exchange) {
  Answer answer;
  int* const v = answer.values;
  switch (exchange.kind) {
    case Exchange::Kind::kVelocity:
      answer.result = drvb::set_velocity(connection_, exchange.left, exchange.right);
      break;
    case Exchange::Kind::kReadMaxVelocity:
      answer.result = drvb::read_parameter(connection_, drvb::kMaxVelocityId, &v[0]);
      break;
    case Exchange::Kind::kReadStatus: {
      drvb::BumpersAndErrors status;
      answer.result = drvb::read_bumpers_and_errors(connection_, &status);
      v[0] = status.bumper_left;
      v[1] = status.bumper_right;
      v[2] = status.emergency;
      v[3] = status.error_left;
      v[4] = status.error_right;
      break;
    }
  }
  return answer;
}

}  // namespace tavik::drive
