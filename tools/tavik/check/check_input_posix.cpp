// Standard input for tavik check's prompts, POSIX: poll, then one byte.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "check_prompt.h"

namespace tavik::cli {

int read_input_byte(std::chrono::milliseconds wait) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
  if (ready < 0 && errno == EINTR) return kInputLater;
  if (ready == 0) return kInputLater;
  unsigned char c = 0;
  if (ready < 0 || ::read(STDIN_FILENO, &c, 1) != 1) return kInputEnded;
  return c;
}

}  // namespace tavik::cli
