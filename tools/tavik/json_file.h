// Reading a JSON file a person gave on the command line (check's limits,
// param restore's backup).
#pragma once

#include <string>

#include "output.h"

namespace tavik::cli {

// The JSON document in the file at `path`. One that cannot be read or is
// not JSON is a usage error "`option` PATH: cannot read it: ..." or
// "... not JSON: ...".
Json read_json_file(const std::string& option, const std::string& path);

}  // namespace tavik::cli
