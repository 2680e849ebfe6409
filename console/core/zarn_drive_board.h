// The drive keeper's board (drive/drive_board.h) over the library's C
// functions (zarn_rs232_drvb_*), as the console reaches the drive board:
// each exchange measured on the board's link by the caller's `measure`.
#pragma once

#include <functional>

#include "drive/drive_board.h"

namespace tavik::console {

class ZarnDriveBoard : public drive::DriveBoard {
 public:
  // Runs a library call and gives its result (0 or -1), recording it.
  using Measure = std::function<int(const std::function<int()>&)>;
  explicit ZarnDriveBoard(Measure measure) : measure_(std::move(measure)) {}
  drive::Answer exchange(const drive::Exchange& exchange) override;

 private:
  const Measure measure_;
};

}  // namespace tavik::console
