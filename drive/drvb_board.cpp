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
    case Exchange::Kind::kReadBumpers:
      answer.result = drvb::read_bumper_emg(connection_, &v[0], &v[1], &v[2]);
      break;
    case Exchange::Kind::kReadWheelErrors: {
      char left = 0, right = 0;
      answer.result = drvb::read_drive_err(connection_, &left, &right);
      v[0] = left;
      v[1] = right;
      break;
    }
  }
  return answer;
}

}  // namespace tavik::drive
