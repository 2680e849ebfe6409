// The commands of cmd/ other than the drive, carried out on their board:
// the power of a device, the servo, the maximum distance, the wheel errors'
// reset. The wheels stop before their power or their servo goes off.
#pragma once

#include <string>

#include "drive_control.h"
#include "messages.h"

namespace tavik::cli {

// The board a command goes to.
Board board_of(const BridgeCommand& command);

// Carries out command on its board's connection (null: its port is not
// open) at port; drive stops first where the command takes the wheels' power.
CommandOutcome carry_out(const BridgeCommand& command, BoardConnection* connection, const std::string& port,
                         DriveControl& drive);

}  // namespace tavik::cli
