#include "global_options.h"

#include "number_check.h"

namespace tavik::cli {
namespace {

// The help in the system's own terms: Windows has COM ports, no /dev and
// no simulator (it needs pseudo-terminals).
#ifdef _WIN32
constexpr const char* kPortForms =
    "COM<n> or \\\\.\\COM<n>, tcp://HOST:PORT or rfc2217://HOST:PORT (a ser2net port), or a COM name "
    "mapped to one in %APPDATA%\\Tavik\\ports";
#else
constexpr const char* kPortForms =
    "COM<n>, a device path, a name under /dev, tcp://HOST:PORT or rfc2217://HOST:PORT (a ser2net port), or "
    "a COM name mapped to one in /etc/tavik/ports or ~/.config/tavik/ports";
#endif

const auto kNonEmpty = CLI::Validator(
    [](const std::string& value) { return value.empty() ? std::string("a port name cannot be empty") : ""; },
    "");  // the option's type name says PORT (kPortType)

}  // namespace

void add_global_options(CLI::App& app, GlobalOptions& options) {
  app.add_option("--psb", options.psb, std::string("power & sensor board port: ") + kPortForms)
      ->type_name(kPortType)
      ->capture_default_str()
      ->check(kNonEmpty);
  app.add_option("--drvb", options.drvb, "drive board port, as --psb")
      ->type_name(kPortType)
      ->capture_default_str()
      ->check(kNonEmpty);
  add_number(app, "--timeout", options.timeout_ms, "reply time-out in milliseconds (1 to 60000)",
             {.least = 1, .most = 60000, .unit = "ms"})
      ->capture_default_str();
  app.add_flag("--json", options.json, "JSON output (one object per line), errors in JSON too");
  auto* simulate =
      app.add_flag("--simulate", options.simulate, "use the built-in board simulator instead of the ports");
#ifdef _WIN32
  simulate->group("");  // hidden
#else
  (void)simulate;
#endif
  app.add_flag("--trace", options.trace,
               "write every frame sent and received to standard error (as TAVIK_TRACE=stderr does)");
}

}  // namespace tavik::cli
