// The board's end of a pseudo-terminal: the substitute board reads requests
// from and writes replies to the master side; the libraries open the slave
// side as their serial port. The endpoint keeps a slave descriptor of its
// own, so the line stays up while no library has it open.
//
// Not thread-safe: one thread (the board's) uses it.
#pragma once

#include <string>

namespace tavik::sim {

class PtyEndpoint {
 public:
  // Opens a pseudo-terminal in raw mode. Throws std::system_error on failure.
  PtyEndpoint();
  ~PtyEndpoint();
  PtyEndpoint(const PtyEndpoint&) = delete;
  PtyEndpoint& operator=(const PtyEndpoint&) = delete;

  // Non-blocking master descriptor; -1 while unplugged.
  int master_fd() const { return master_fd_; }
  // Device path of the slave side, such as /dev/pts/4.
  const std::string& slave_path() const { return slave_path_; }
  // The published link, or an empty string.
  const std::string& link_path() const { return link_path_; }

  // Publishes dir/name as a symbolic link to the slave (replacing a link of
  // that name), so that "COM<n>" finds it through TAVIK_COM_DIR.
  void publish(const std::string& dir, const std::string& name);
  // Removes the published link, if any.
  void unpublish();

  // Closes the pseudo-terminal, whose holders see a hang-up, and removes the
  // published link until replug.
  void unplug();
  // Opens a new pseudo-terminal and points the published link at it.
  void replug();
  bool plugged() const { return master_fd_ >= 0; }

 private:
  void open_pty();
  void close_pty();

  int master_fd_ = -1;
  int slave_keepalive_fd_ = -1;
  std::string slave_path_;
  std::string link_path_;
};

}  // namespace tavik::sim
