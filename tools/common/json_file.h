// Reading a JSON file a person gave on the command line (check's limits,
// param restore's backup).
#pragma once

#include <string>

#include "output.h"

namespace tavik::cli {

// The largest such file: a backup or a limits file is a few hundred bytes.
inline constexpr std::size_t kMostJsonFileBytes = 1024 * 1024;

// The JSON document in the regular file at `path`. One that cannot be read,
// is not a regular file, is too large or is not taken by parse_strict_json
// is a usage error "`option` PATH: cannot read it: ...", "... not JSON:
// ...", "... 'entry' is given twice". With `text`, also the file's bytes.
Json read_json_file(const std::string& option, const std::string& path, std::string* text = nullptr);

}  // namespace tavik::cli
