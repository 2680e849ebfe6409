// The ports a user connected last, kept in the registry under
// HKEY_CURRENT_USER\Software\Tavik\Tavik V1 Basic (values PsbPort, DrvbPort).
#pragma once

#include <string>

namespace tavik::console {

std::string remembered_port(const std::string& key);
// Keeps `name` for `key`; a key that cannot be written is left as it is.
void remember_port(const std::string& key, const std::string& name);

}  // namespace tavik::console
