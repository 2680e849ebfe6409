#include "password_file.h"

#include <cstdio>

#include "command_error.h"
#include "regular_file.h"

namespace tavik::cli {
namespace {

// The largest password file taken.
constexpr std::size_t kMostPasswordFileBytes = 64 * 1024;

}  // namespace

std::string read_password(const std::string& file) {
  const RegularFile read = read_regular_file(file, kMostPasswordFileBytes);
  if (!read.error.empty())
    throw CommandError::usage("--password-file " + file + ": cannot read it: " + read.error);
  if (read.shared) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", read.mode);
    throw CommandError::usage("--password-file " + file + ": group or others may read or change it (mode " +
                              mode + "): chmod 600 " + file);
  }
  if (read.text.empty())
    throw CommandError::usage("--password-file " + file + ": cannot read it: it is empty");
  std::string password = read.text.substr(0, read.text.find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

}  // namespace tavik::cli
