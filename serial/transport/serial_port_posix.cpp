// POSIX backend of SerialPort: termios in raw mode, poll() for the time-outs.
//
// Time-outs are measured with poll() on the remaining time rather than with
// VTIME, whose 100 ms steps cannot express the 10 ms gap between bytes.
// Received bytes are read ahead into a small buffer so that the one-byte
// reads of the reply readers cost no system call while bytes are pending.
// Bytes arrive one by one at the line rate, so a reader told how many are
// still to come sleeps for their wire time before it looks, rather than
// waking for each.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <thread>

#include "serial/names/port_path.h"
#include "serial/ports/port_lock.h"
#include "serial/transport/device_transport.h"

namespace tavik {

using Clock = std::chrono::steady_clock;

struct DevicePort final : DeviceTransport {
  int fd = -1;
  // When bytes read had just arrived: a read woken by them took them
  // (`anchor_bytes` of them, as the driver handed them on) and left none
  // behind. The next bytes come one byte time apart at the most, so those
  // read since, `since_anchor` of them, and any still expected arrive no
  // earlier than that many byte times after it. Unset after a purge and
  // after a read that filled the buffer.
  Clock::time_point anchor{};
  int anchor_bytes = 0;
  int since_anchor = 0;
  ~DevicePort() override;
  // Time-outs are applied per transfer with poll(): nothing to set on the device.
  void apply_timeouts(int) override {}
  int write(const std::uint8_t* data, int count, int timeout_ms) override;
  int read(std::uint8_t* buffer, int count, int timeout_ms, int expect) override;
  int purge() override;
  int read_pending(std::uint8_t* buffer, int count) override;
};

namespace {

constexpr auto kByteTime = std::chrono::nanoseconds(10'000'000'000LL / kBaudRate);  // 10 bits a byte
// The last bytes of those expected are waited for as they come, so that the
// reply is handed over when its last byte arrives: a sleep may end a byte
// time late (the thread's timer slack of 50 us, a virtual machine's timer
// interrupts), and when the bytes before it came is known only from when
// they were read.
constexpr int kAsTheyCome = 3;
// A sleep on a timer costs about as much CPU as two or three wake-ups by
// arriving bytes where setting a timer is dear (in a virtual machine: some
// 20 us against 5 to 9): it is taken only when it spares three or more,
// counted in the chunks the driver last handed bytes on in (one a byte from
// a UART without a FIFO, a USB packet's worth from an adapter).
constexpr int kFewestToSleepFor = 3;

void configure_line(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  ::tcsetattr(fd, TCSANOW, &tio);
}

void request_low_latency(int fd) {
  serial_struct ser{};
  if (::ioctl(fd, TIOCGSERIAL, &ser) != 0) return;
  ser.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(fd, TIOCSSERIAL, &ser);
}

void set_modem_line(int fd, int line, bool raised) { ::ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line); }

// Waits for `events` on fd until `until`, looking at least once even when
// `until` has passed. Returns the revents, 0 on time-out, -1 on a poll
// failure.
int wait_for(int fd, short events, Clock::time_point until) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now());
    left = std::max(left, std::chrono::nanoseconds(0));
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
    pollfd pfd{fd, events, 0};
    int r = ::ppoll(&pfd, 1, &ts, nullptr);
    if (r > 0) return pfd.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

Failure open_failure(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return Failure::kMissing;
    case EACCES:
    case EPERM:
    case EROFS:
      return Failure::kNoPermission;
    case EISDIR:
      return Failure::kNotSerial;
    case EBUSY:
      return Failure::kPortBusy;
    default:
      return Failure::kOpenFailed;
  }
}

// Errors after which the device will never work again.
bool device_gone(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

// Reads what the device holds into the read-ahead buffer, after a sleep
// (`slept`) or woken by arriving bytes. Returns false when the device is gone.
bool fill_ahead(DevicePort* os, bool slept) {
  for (;;) {
    ssize_t n = ::read(os->fd, os->ahead, sizeof os->ahead);
    if (n > 0) {
      os->took_ahead(static_cast<int>(n));
      if (n == static_cast<ssize_t>(sizeof os->ahead)) {
        os->anchor = {};  // more may be waiting: when these came is not known
      } else if (slept && os->anchor != Clock::time_point{}) {
        os->since_anchor += static_cast<int>(n);
      } else {
        os->anchor = Clock::now();
        os->anchor_bytes = static_cast<int>(n);
        os->since_anchor = 0;
      }
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    // 0 is a hang-up on a terminal, EIO a removed device; anything else
    // fails this read only.
    if (n == 0) os->mark_removed(0);
    if (n < 0 && device_gone(errno)) os->mark_removed(errno);
    return false;
  }
}

// Sleeps until `until` (steady_clock is CLOCK_MONOTONIC); false when it has
// passed already.
bool sleep_until(Clock::time_point until) {
  if (until <= Clock::now()) return false;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
  const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
  return true;
}

// Waits until the output queue is empty or the deadline passes, sleeping for
// about the time the queued bytes need on the line.
void drain(int fd, Clock::time_point deadline) {
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    auto now = Clock::now();
    if (now >= deadline) return;
    auto pause = std::max<Clock::duration>(kByteTime * queued, std::chrono::microseconds(100));
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
  }
}

}  // namespace

PortTransport* device_open(const SerialPort& port, Result& why) {
  std::string path = resolve_port_path(port.port_name);
  why = Failure::kMissing;
  if (path.empty()) return nullptr;
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = Result::system(open_failure(errno), errno);
    return nullptr;
  }
  // TIOCEXCL keeps other users out, but root ignores it; the lock does not.
  if (!::isatty(fd)) {
    why = Result::system(Failure::kNotSerial, errno);
    ::close(fd);
    return nullptr;
  }
  if (!take_port_lock(fd)) {
    why = Result::system(Failure::kPortBusy, errno);
    ::close(fd);
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  auto* os = new (std::nothrow) DevicePort;
  if (os == nullptr) {
    ::close(fd);
    return nullptr;
  }
  os->fd = fd;
  // The remaining set-up steps may fail (pseudo-terminals refuse the modem
  // lines and the serial ioctls); the port is used as it was opened.
  ::tcflush(fd, TCIOFLUSH);
  configure_line(fd);
  request_low_latency(fd);
  set_modem_line(fd, TIOCM_DTR, true);
  set_modem_line(fd, TIOCM_RTS, true);
  return os;
}

int DevicePort::write(const std::uint8_t* data, int count, int timeout_ms) {
  if (removed) return -1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int sent = 0;
  while (sent < count) {
    ssize_t n = ::write(fd, data + sent, static_cast<size_t>(count - sent));
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int ev = wait_for(fd, POLLOUT, deadline);
      if (ev == 0) break;     // time-out: report what was sent
      if (ev < 0) return -1;  // the wait failed, not the device
      if (!(ev & (POLLHUP | POLLERR | POLLNVAL))) continue;
      mark_removed(0);
      return -1;
    }
    if (n == 0) mark_removed(0);
    if (n < 0 && device_gone(errno)) mark_removed(errno);
    return -1;
  }
  drain(fd, deadline);
  return sent;
}

int DevicePort::read(std::uint8_t* buffer, int count, int timeout_ms, int expect) {
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeout_ms);
  int got = 0;
  while (got < count) {
    if (!ahead_empty()) {
      got += take_ahead(buffer + got, count - got);
      continue;
    }
    if (removed) return got > 0 ? got : -1;
    // The bytes still expected cannot all be there before their wire time
    // has passed: all but the last few are looked for then, at once.
    const int before_last = expect - got - kAsTheyCome;
    if (anchor != Clock::time_point{} && before_last >= kFewestToSleepFor * anchor_bytes) {
      const auto due = anchor + kByteTime * (since_anchor + before_last);
      if (sleep_until(std::min(deadline, due))) {
        const int ev = wait_for(fd, POLLIN, Clock::now());
        if (ev > 0 && (ev & POLLIN)) {
          if (!fill_ahead(this, true)) return got > 0 ? got : -1;
          continue;
        }
      }
    }
    // Until the first byte the whole time-out applies; after it, the gap limit.
    auto until = deadline;
    if (got > 0) until = std::min(deadline, Clock::now() + std::chrono::milliseconds(kReadGapMs));
    int ev = wait_for(fd, POLLIN, until);
    if (ev < 0) return got > 0 ? got : -1;  // the wait failed, not the device
    if (ev == 0) break;
    if (ev & POLLIN) {
      if (!fill_ahead(this, false)) return got > 0 ? got : -1;
      continue;
    }
    mark_removed(0);  // POLLHUP, POLLERR or POLLNVAL without data
    return got > 0 ? got : -1;
  }
  return got;
}

int DevicePort::purge() {
  drop_ahead();
  anchor = {};
  return ::tcflush(fd, TCIOFLUSH) == 0 ? 1 : 0;
}

int DevicePort::read_pending(std::uint8_t* buffer, int count) {
  int got = 0;
  while (got < count) {
    if (ahead_empty()) {
      // In raw mode an empty read() returns 0, which means a hang-up only
      // after poll() said there was something to read.
      if (removed || !(wait_for(fd, POLLIN, Clock::now()) > 0)) break;
      if (!fill_ahead(this, false) || ahead_empty()) break;
    }
    got += take_ahead(buffer + got, count - got);
  }
  return got;
}

DevicePort::~DevicePort() {
  ::ioctl(fd, TIOCNXCL);
  set_modem_line(fd, TIOCM_RTS, false);
  set_modem_line(fd, TIOCM_DTR, false);
  ::tcflush(fd, TCIOFLUSH);
  ::close(fd);  // also releases the flock
}

}  // namespace tavik
