#include "serial/transport/serial_port.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "serial/names/port_path.h"
#include "serial/transport/port_transport.h"
#include "sim/line/pty_endpoint.h"
#include "tests/support/peers/pty_test_util.h"

namespace tavik {
namespace {

using std::chrono::milliseconds;
using test::elapsed_ms;
using test::master_read;
using test::master_write;

struct PortDeleter {
  void operator()(SerialPort* p) const { serial_port_destroy(p); }
};
using PortPtr = std::unique_ptr<SerialPort, PortDeleter>;

TEST(PortPath, Resolution) {
  ::unsetenv("TAVIK_COM_DIR");
  EXPECT_EQ(resolve_port_path("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(resolve_port_path("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(resolve_port_path("serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
  EXPECT_EQ(resolve_port_path("../etc/passwd"), "");
  EXPECT_EQ(resolve_port_path(""), "");
  EXPECT_EQ(resolve_port_path(nullptr), "");
  if (::access("/dev/tavik/COM1", F_OK) != 0) {
    EXPECT_EQ(resolve_port_path("COM1"), "/dev/ttyS0");
    EXPECT_EQ(resolve_port_path("COM20"), "/dev/ttyS19");
    EXPECT_EQ(resolve_port_path("COM0"), "");
  }
  EXPECT_EQ(resolve_port_path("COMX"), "/dev/COMX");
  ::setenv("TAVIK_COM_DIR", "/tmp/links", 1);
  EXPECT_EQ(resolve_port_path("COM7"), "/tmp/links/COM7");
  EXPECT_EQ(resolve_port_path("COM0"), "/tmp/links/COM0");
  ::unsetenv("TAVIK_COM_DIR");
}

TEST(SerialPort, OpenFailsForMissingDeviceAndBadTimeout) {
  EXPECT_EQ(serial_port_create("/dev/does-not-exist", 200), nullptr);
  EXPECT_EQ(serial_port_create("/dev/null", 200), nullptr);  // not a terminal
  sim::PtyEndpoint pty;
  EXPECT_EQ(serial_port_create(pty.slave_path().c_str(), 0), nullptr);
  EXPECT_EQ(serial_port_create(pty.slave_path().c_str(), -5), nullptr);
}

TEST(SerialPort, OpenIsExclusiveInThisAndOtherProcesses) {
  sim::PtyEndpoint pty;
  PortPtr first(serial_port_create(pty.slave_path().c_str(), 200));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(serial_port_create(pty.slave_path().c_str(), 200), nullptr);
  EXPECT_EQ(serial_port_open(first.get()), 0);  // already open: no change
  EXPECT_TRUE(serial_port_is_open(first.get()));

  pid_t child = ::fork();
  if (child == 0) {
    SerialPort* other = serial_port_create(pty.slave_path().c_str(), 200);
    ::_exit(other == nullptr ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened the port";

  first.reset();
  PortPtr again(serial_port_create(pty.slave_path().c_str(), 200));
  EXPECT_NE(again, nullptr) << "closing must release the port";
}

TEST(SerialPort, NameIsCutToThirtyTwoCharacters) {
  SerialPort port;
  serial_port_configure(&port, "COM3-0123456789012345678901234567890123456789", kBaudRate, 8, 0, 0, 0);
  EXPECT_EQ(std::string(port.port_name), "COM3-012345678901234567890123456");
  EXPECT_EQ(port.baud_rate, 115200);
  EXPECT_EQ(port.data_bits, 8);
}

// Stable device paths (/dev/serial/by-id/usb-FTDI_..._A10K3XYZ-if00-port0)
// are longer than 32 characters and must open whole.
TEST(SerialPort, DevicePathsAreUsedWhole) {
  sim::PtyEndpoint pty;
  char dir_template[] = "/tmp/tavik-by-id.XXXXXX";
  ASSERT_NE(::mkdtemp(dir_template), nullptr);
  const std::string link = std::string(dir_template) + "/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
  ASSERT_EQ(::symlink(pty.slave_path().c_str(), link.c_str()), 0);
  PortPtr port(serial_port_create(link.c_str(), 100));
  EXPECT_NE(port, nullptr);
  port.reset();
  EXPECT_EQ(serial_port_create((link + std::string(kPortPathMax, 'x')).c_str(), 100), nullptr);
  ::unlink(link.c_str());
  ::rmdir(dir_template);
}

// A wait that fails for a reason of its own (here poll() refused for want of
// descriptors) fails that read only; the device is not declared removed.
TEST(SerialPort, AFailedWaitDoesNotRemoveTheDevice) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 50));
  ASSERT_NE(port, nullptr);
  // A read before the limit, so that nothing the process does for the first
  // time (the sanitizers' type checks open a pipe) meets it.
  std::uint8_t byte = 0;
  master_write(pty, {0x11});
  ASSERT_EQ(serial_port_read(port.get(), &byte, 1), 1);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit none = saved;
  none.rlim_cur = 0;  // poll() of one descriptor now fails with EINVAL
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  const int during = serial_port_read(port.get(), &byte, 1);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(during, -1);
  master_write(pty, {0x5A});
  EXPECT_EQ(serial_port_read(port.get(), &byte, 1), 1);
  EXPECT_EQ(byte, 0x5A);
}

TEST(SerialPort, ClosedPortAndEmptyWrites) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 50));
  ASSERT_NE(port, nullptr);
  const std::uint8_t byte = 0x41;
  EXPECT_EQ(serial_port_write(port.get(), &byte, 0), 0);
  EXPECT_EQ(serial_port_write(port.get(), &byte, -1), 0);
  EXPECT_TRUE(master_read(pty, 1, milliseconds(30)).empty());

  EXPECT_EQ(serial_port_close(port.get()), 0);
  EXPECT_EQ(serial_port_close(port.get()), 0);
  std::uint8_t buf[4];
  EXPECT_EQ(serial_port_write(port.get(), &byte, 1), -1);
  EXPECT_EQ(serial_port_read(port.get(), buf, 1), -1);
  EXPECT_EQ(serial_port_purge(port.get()), -1);
}

TEST(SerialPort, TransfersBytesBothWays) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 200));
  ASSERT_NE(port, nullptr);
  const std::uint8_t request[] = {0x02, 0x53, 0x61, 0x72, 0x03, 0x43, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13};
  EXPECT_EQ(serial_port_write(port.get(), request, sizeof request), static_cast<int>(sizeof request));
  // Raw line: control characters, NUL, CR/LF and XON/XOFF pass unchanged.
  EXPECT_EQ(master_read(pty, sizeof request, milliseconds(500)),
            std::vector<std::uint8_t>(request, request + sizeof request));

  master_write(pty, {0x11, 0x13, 0x0D, 0x0A, 0x00, 0x7F});
  std::uint8_t got[6] = {};
  EXPECT_EQ(serial_port_read(port.get(), got, 6), 6);
  EXPECT_EQ(std::vector<std::uint8_t>(got, got + 6),
            (std::vector<std::uint8_t>{0x11, 0x13, 0x0D, 0x0A, 0x00, 0x7F}));
}

TEST(SerialPort, ReadTimeOuts) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 150));
  ASSERT_NE(port, nullptr);
  std::uint8_t buf[16] = {};

  // Silence: 0 after about one time-out.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(serial_port_read(port.get(), buf, 1), 0);
  EXPECT_GE(elapsed_ms(start), 140.0);
  EXPECT_LT(elapsed_ms(start), 600.0);

  // A read of n bytes ends at the first gap after some bytes arrived.
  master_write(pty, {1, 2, 3});
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(serial_port_read(port.get(), buf, 16), 3);
  EXPECT_LT(elapsed_ms(start), 140.0);
}

TEST(SerialPort, PurgeDiscardsReceivedBytes) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 50));
  ASSERT_NE(port, nullptr);
  master_write(pty, {1, 2, 3, 4, 5, 6});
  std::uint8_t first = 0;
  ASSERT_EQ(serial_port_read(port.get(), &first, 1), 1);  // the rest is read ahead
  EXPECT_NE(serial_port_purge(port.get()), 0);
  EXPECT_EQ(serial_port_read(port.get(), &first, 1), 0);
}

TEST(SerialPort, RemovedDeviceFailsAtOnce) {
  sim::PtyEndpoint pty;
  PortPtr port(serial_port_create(pty.slave_path().c_str(), 1000));
  ASSERT_NE(port, nullptr);
  pty.unplug();
  std::uint8_t buf[4] = {0x02};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(serial_port_read(port.get(), buf, 1), -1);
  EXPECT_EQ(serial_port_read(port.get(), buf, 4), -1);
  EXPECT_EQ(serial_port_write(port.get(), buf, 1), -1);
  EXPECT_LT(elapsed_ms(start), 500.0) << "a removed device must not wait for the time-out";
}

}  // namespace
}  // namespace tavik
