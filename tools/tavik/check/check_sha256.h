// SHA-256 of a file, for the attachments of tavik check (--attach): the
// record names each saved file with the hash of its bytes.
#pragma once

#include <optional>
#include <string>

namespace tavik::cli {

// The hash as 64 lower-case hex digits, or nothing when the file cannot be read.
std::optional<std::string> file_sha256(const std::string& path);
// The hash of bytes already read.
std::string text_sha256(const std::string& bytes);

}  // namespace tavik::cli
