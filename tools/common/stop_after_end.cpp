#include "stop_after_end.h"

#include "board_readings.h"
#include "drive_loop.h"

namespace tavik::cli {

int send_stop_after(Session& session, Output& out) {
  BoardConnection& connection = session.open(Board::kDrvb);
  session.check(send_stop(connection), "send the stop (0,0)", Board::kDrvb);
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"stop_sent", true}});
  out.record(record);
  return kExitOk;
}

}  // namespace tavik::cli
