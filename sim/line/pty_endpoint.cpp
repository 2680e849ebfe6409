#include "sim/line/pty_endpoint.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tavik::sim {
namespace {

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PtyEndpoint::PtyEndpoint() { open_pty(); }

PtyEndpoint::~PtyEndpoint() {
  unpublish();
  close_pty();
}

void PtyEndpoint::open_pty() {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) fail("posix_openpt");
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ::close(master);
    fail("grantpt/unlockpt");
  }
  char name[128] = {};
  if (::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    fail("ptsname_r");
  }
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    ::close(master);
    fail("open pty slave");
  }
  termios tio{};
  if (::tcgetattr(slave, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  master_fd_ = master;
  slave_keepalive_fd_ = slave;
  slave_path_ = name;
}

void PtyEndpoint::close_pty() {
  if (slave_keepalive_fd_ >= 0) ::close(slave_keepalive_fd_);
  if (master_fd_ >= 0) ::close(master_fd_);
  slave_keepalive_fd_ = master_fd_ = -1;
}

void PtyEndpoint::publish(const std::string& dir, const std::string& name) {
  unpublish();
  std::string link = dir + "/" + name;
  ::unlink(link.c_str());
  if (::symlink(slave_path_.c_str(), link.c_str()) != 0) fail("symlink");
  link_path_ = link;
}

void PtyEndpoint::unpublish() {
  if (link_path_.empty()) return;
  ::unlink(link_path_.c_str());
  link_path_.clear();
}

// As udev does with the links of a pulled adapter, the link goes with the
// device: left dangling, it would lead to whichever device next takes the
// freed pseudo-terminal number, another board's perhaps.
void PtyEndpoint::unplug() {
  close_pty();
  if (!link_path_.empty()) ::unlink(link_path_.c_str());
}

void PtyEndpoint::replug() {
  if (plugged()) return;
  open_pty();
  if (!link_path_.empty()) {
    std::string link = link_path_;
    ::unlink(link.c_str());
    if (::symlink(slave_path_.c_str(), link.c_str()) != 0) fail("symlink");
  }
}

}  // namespace tavik::sim
