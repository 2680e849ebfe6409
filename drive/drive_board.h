// The drive board as the keeper reaches it: one exchange at a time, made
// and answered. The library's connection (drvb_board.h) and the console's C
// functions each give one; a test can script one.
#pragma once

#include "drive/keeper.h"

namespace tavik::drive {

class DriveBoard {
 public:
  virtual ~DriveBoard() = default;
  // Makes the exchange and gives the board's answer; bounded by the line's time-out.
  virtual Answer exchange(const Exchange& exchange) = 0;
};

}  // namespace tavik::drive
