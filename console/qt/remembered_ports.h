// The ports a user connected last, kept in $XDG_CONFIG_HOME/tavik/console.conf
// (~/.config/tavik/console.conf), one `KEY=NAME` line each under [ports].
#pragma once

#include <string>

namespace tavik::console {

std::string remembered_port(const std::string& key);
// Keeps `name` for `key`; a file that cannot be written is left as it is.
void remember_port(const std::string& key, const std::string& name);
// Off for a session against simulated boards, whose ports are not the
// user's: nothing is read or kept.
void keep_remembered_ports(bool keep);

}  // namespace tavik::console
