#include <cstring>

#include "psb/psb_commands.h"
#include "serial/frame_codec.h"

namespace tavik::psb {

int build_request(std::uint8_t* frame, const char* command) {
  const int length = static_cast<int>(std::strlen(command));
  frame[0] = kStx;
  std::memcpy(frame + 1, command, static_cast<std::size_t>(length));
  return close_request(frame, length + 1);
}

}  // namespace tavik::psb
