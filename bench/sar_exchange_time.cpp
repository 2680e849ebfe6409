// Times the "Sar" exchange on a real port, for platforms without Google
// Benchmark, such as the Windows build under Wine: the library
// (velk_rs232_psb_read_sensor) against a one-read client that writes the same
// 6-byte request and takes the 44-byte reply in one blocking read, the least
// an exchange can cost on that port. The two take turns in rounds, so both
// see the same load on the machine.
//
//   sar_exchange_time PORT [COUNT]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "tavik/velk_rs232_psb.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 10;
constexpr int kReplyBytes = 44;  // STX, count 40, 40 data bytes, ETX, BCC
constexpr std::uint8_t kSarRequest[] = {0x02, 'S', 'a', 'r', 0x03, 'S' ^ 'a' ^ 'r' ^ 0x03};

// The one-read client: a plain blocking port, one write, one read.
class OneReadClient {
 public:
  explicit OneReadClient(const char* name) {
#ifdef _WIN32
    const std::string path = std::string("\\\\.\\") + name;
    handle_ =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_115200;
    dcb.fBinary = TRUE;
    dcb.ByteSize = 8;
    ::SetCommState(handle_, &dcb);
    COMMTIMEOUTS t = {};
    t.ReadIntervalTimeout = 10;
    t.ReadTotalTimeoutConstant = 200;
    t.WriteTotalTimeoutConstant = 200;
    ::SetCommTimeouts(handle_, &t);
    ::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
#else
    fd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    tio.c_cc[VMIN] = kReplyBytes;  // one read() returns the whole reply...
    tio.c_cc[VTIME] = 2;           // ...or after 200 ms between bytes
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
#endif
  }
  ~OneReadClient() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  OneReadClient(const OneReadClient&) = delete;
  OneReadClient& operator=(const OneReadClient&) = delete;

  bool is_open() const {
#ifdef _WIN32
    return handle_ != INVALID_HANDLE_VALUE;
#else
    return fd_ >= 0;
#endif
  }

  // True when the whole reply came back.
  bool exchange() {
    std::uint8_t reply[kReplyBytes] = {};
#ifdef _WIN32
    DWORD done = 0;
    ::WriteFile(handle_, kSarRequest, sizeof kSarRequest, &done, nullptr);
    done = 0;
    if (!::ReadFile(handle_, reply, sizeof reply, &done, nullptr)) return false;
    const auto got = static_cast<int>(done);
#else
    if (::write(fd_, kSarRequest, sizeof kSarRequest) != static_cast<ssize_t>(sizeof kSarRequest))
      return false;
    const auto got = static_cast<int>(::read(fd_, reply, sizeof reply));
#endif
    return got == kReplyBytes && reply[0] == 0x02 && reply[kReplyBytes - 2] == 0x03;
  }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

struct Timings {
  std::vector<double> ms;
  int failed = 0;

  template <typename Exchange>
  void time(Exchange&& exchange) {
    const auto start = Clock::now();
    failed += !exchange();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  double quantile(double q) {
    std::sort(ms.begin(), ms.end());
    return ms[static_cast<std::size_t>(q * static_cast<double>(ms.size() - 1) + 0.5)];
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [COUNT]\n", argv[0]);
    return 2;
  }
  const char* port = argv[1];
  const int count = argc > 2 ? std::max(kRounds, std::atoi(argv[2])) : 200;
  const int per_round = count / kRounds;
  Timings library;
  Timings one_read;
  psb_sensor_data sensor{};
  for (int round = 0; round < kRounds; ++round) {
    if (velk_rs232_psb_create(port, 200) != 0) {
      std::fprintf(stderr, "%s: the library cannot open %s\n", argv[0], port);
      return 1;
    }
    velk_rs232_psb_read_sensor(&sensor);  // not timed: the first exchange also opens the line's queues
    for (int i = 0; i < per_round; ++i)
      library.time([&] { return velk_rs232_psb_read_sensor(&sensor) == 0; });
    velk_rs232_psb_destroy();

    OneReadClient client(port);
    if (!client.is_open()) {
      std::fprintf(stderr, "%s: the one-read client cannot open %s\n", argv[0], port);
      return 1;
    }
    client.exchange();
    for (int i = 0; i < per_round; ++i) one_read.time([&] { return client.exchange(); });
  }
  const double lib_median = library.quantile(0.5), lib_p90 = library.quantile(0.9);
  const double one_median = one_read.quantile(0.5), one_p90 = one_read.quantile(0.9);
  std::printf("Sar exchange on %s, %d runs each in %d alternating rounds:\n", port, per_round * kRounds,
              kRounds);
  std::printf("  library          median %7.3f ms  p90 %7.3f ms  max %7.3f ms  %d failed\n", lib_median,
              lib_p90, library.ms.back(), library.failed);
  std::printf("  one-read client  median %7.3f ms  p90 %7.3f ms  max %7.3f ms  %d failed\n", one_median,
              one_p90, one_read.ms.back(), one_read.failed);
  std::printf("  library / one-read: median %.1f, p90 %.1f\n", lib_median / one_median, lib_p90 / one_p90);
  return library.failed == 0 && one_read.failed == 0 ? 0 : 1;
}
