// Both substitute boards, the power & sensor board (PSB) and the drive board
// (DRVB), each on a pseudo-terminal of its own, sharing one world: a room in
// which a differential-drive robot moves. The libraries open the boards'
// devices as their serial ports, directly or as "COM<n>" through
// TAVIK_COM_DIR when the boards are published in a link directory.
//
// Every member function is thread-safe. The world advances on a monotonic
// clock whether or not anyone asks, so the robot keeps moving between polls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "facts/defaults.h"
#include "sim/models/fault.h"
#include "sim/models/frame_builder.h"
#include "sim/models/sim_status.h"

namespace tavik::sim {

struct SimulatorOptions {
  // When not empty, link_dir/psb_name and link_dir/drvb_name are published
  // as symbolic links to the boards' devices.
  std::string link_dir;
  std::string psb_name = kDefaultPsbPort;
  std::string drvb_name = kDefaultDrvbPort;
  // Replies leave at the line rate of 115200 baud (86.8 us per byte).
  bool pace = false;
  // Seeds the random choices: noise bytes, drop decisions, sensor jitter.
  std::uint64_t seed = 1;
};

// The commands execute takes, as "help" lists them.
const char* command_help();

class Simulator {
 public:
  // Starts both boards. Throws std::system_error when a pseudo-terminal or a
  // link cannot be made.
  explicit Simulator(SimulatorOptions options = {});
  // Stops both boards, joins their threads and removes the links.
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The boards' current devices (they change on replug), such as /dev/pts/4.
  std::string psb_path() const;
  std::string drvb_path() const;
  std::string path(Board board) const;
  const SimulatorOptions& options() const { return options_; }

  SimStatus status() const;

  // Runs one command line of tavik-sim's standard input and returns its
  // answer (several lines for "status" and "help"). Unknown or malformed
  // commands answer with a line starting "error:".
  std::string execute(const std::string& line);

  // Whether a client currently holds the board's port open: the libraries
  // lock the port while they have it open.
  bool client_attached(Board board) const;

  // Fault injection. A request matches at most one fault: the one set last
  // for its board and command, else the board's "*" fault.
  void set_fault(const Fault& fault);
  void clear_faults();
  void clear_faults(Board board);

  // The raw bytes the board received since the last call.
  Bytes take_received(Board board);

  // Unplug: the board's pseudo-terminal disappears (a client sees EIO on
  // its open port). Replug: a new pseudo-terminal, the link points at it.
  void unplug(Board board);
  void replug(Board board);

  // The world.
  void set_emergency(bool on);
  // Bumpers held closed by hand, on top of any wall contact.
  void press_bumpers(bool left, bool right);
  // Open-circuit battery voltage, 0..30 V; other values are ignored.
  void set_battery(double volts);
  // Places the robot (clamped inside the room) and stops it.
  void set_pose(double x_mm, double y_mm, double heading_rad);

 private:
  struct Impl;
  SimulatorOptions options_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavik::sim
