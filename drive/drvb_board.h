// The keeper's board over the library's connection (drvb::), for the tool
// and the bridge.
#pragma once

#include "drive/drive_board.h"
#include "serial/exchange/board_connection.h"

namespace tavik::drive {

class DrvbBoard : public DriveBoard {
 public:
  explicit DrvbBoard(BoardConnection& connection) : connection_(connection) {}
  Answer exchange(const Exchange& exchange) override;
  BoardConnection& connection() const { return connection_; }

 private:
  BoardConnection& connection_;
};

}  // namespace tavik::drive
