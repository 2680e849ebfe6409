// --password-file: the broker's password, the first line of a regular file
// that only its owner may read.
#pragma once

#include <string>

namespace tavik::cli {

// The password; throws a usage error naming the file when it cannot be
// read, is empty, or group or others may read or change it.
std::string read_password(const std::string& file);

}  // namespace tavik::cli
