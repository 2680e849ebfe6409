// One "Sar" exchange (6-byte request, 44-byte reply) through Debian's
// ser2net on localhost (chardelay: false), serving the simulated power &
// sensor board: the library over tcp:// and rfc2217://, pyserial's socket://
// and rfc2217:// clients on the same server, and the floor, a client that
// does one write and one read on a TCP socket. The clients take turns,
// round by round, each connecting afresh; the median and the 90th
// percentile of each client's exchanges are printed, and how many of them
// were lost (no reply, or a failure of any kind) out of how many. A lost
// exchange does not end the round: the next one is sent (but for the
// floor's, which has no purge to get back in step: it ends that client).
//
//   ser2net_sar_bench [ROUNDS [PER_ROUND [CLIENT]]]  (default 10 rounds of 200)
//   ser2net_sar_bench 50 200                   (10,000 exchanges a client)
//   ser2net_sar_bench 50 200 rfc2217           (the clients whose name has it)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/simulator.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/servers/ser2net_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavik::test::Ser2net;

constexpr std::uint8_t kRequest[] = {0x02, 0x53, 0x61, 0x72, 0x03, 0x43};
constexpr int kReplyLength = 44;

double us_since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Each exchange's time (those that pyserial lost have none) and how many
// were lost out of how many.
struct Tally {
  std::vector<double> times;
  int lost = 0;
  int sent = 0;
};

bool floor_round(int port, int count, Tally& tally) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  timeval bound{0, 200000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  for (int i = 0; ok && i < count; ++i) {
    const auto start = Clock::now();
    ok = ::send(fd, kRequest, sizeof kRequest, 0) == static_cast<ssize_t>(sizeof kRequest);
    std::uint8_t reply[256];
    int got = 0;
    while (ok && got < kReplyLength) {
      const ssize_t n = ::recv(fd, reply + got, sizeof reply - static_cast<std::size_t>(got), 0);
      ok = n > 0;
      got += static_cast<int>(std::max<ssize_t>(n, 0));
    }
    tally.times.push_back(us_since(start));
    ++tally.sent;
    if (!ok) ++tally.lost;
  }
  ::close(fd);
  return ok;
}

bool library_round(const std::string& url, int count, Tally& tally) {
  if (zarn_rs232_psb_create(url.c_str(), 200) != 0) return false;
  for (int i = 0; i < count; ++i) {
    int ranges[7];
    const auto start = Clock::now();
    const bool ok = zarn_rs232_psb_read_usonic(ranges) == 0;
    tally.times.push_back(us_since(start));
    ++tally.sent;
    if (!ok) {
      ++tally.lost;
      std::fprintf(stderr, "ser2net_sar_bench: %s: exchange %d: %s\n", url.c_str(), i + 1,
                   zarn_rs232_error_text(zarn_rs232_last_error()));
    }
  }
  zarn_rs232_psb_destroy();
  return true;
}

// The script prints each exchange's time, and "lost" for one without its
// whole reply.
bool pyserial_round(const std::string& url, int count, Tally& tally) {
  const std::string command =
      "/usr/bin/python3 " TAVIK_PYSERIAL_CLIENT " " + url + " " + std::to_string(count);
  FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) return false;
  char word[32];
  int got = 0;
  while (std::fscanf(out, "%31s", word) == 1) {
    if (std::string(word) == "lost") {
      ++tally.lost;
    } else {
      tally.times.push_back(std::atof(word));
    }
    ++tally.sent;
    ++got;
  }
  return ::pclose(out) == 0 && got == count;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int per_round = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string only = argc > 3 ? argv[3] : "";
  if (!Ser2net::installed()) {
    std::fprintf(stderr, "ser2net_sar_bench: ser2net is not installed (scripts/setup-deps)\n");
    return 1;
  }
  std::string dir = (std::filesystem::temp_directory_path() / "tavik-ser2net-bench-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) return 1;
  int status = 0;
  {
    tavik::sim::Simulator sim{tavik::sim::SimulatorOptions{dir}};
    Ser2net server(dir, sim.psb_path(), sim.drvb_path());
    if (!server.start()) {
      std::fprintf(stderr, "ser2net_sar_bench: ser2net did not start\n");
      return 1;
    }
    struct Client {
      const char* name;
      std::function<bool(Tally&)> round;
      Tally tally;
      bool failed = false;
    };
    const int tcp = server.port(Ser2net::kPsbTcp);
    const std::string tcp_url = server.url(Ser2net::kPsbTcp);
    const std::string rfc_url = server.url(Ser2net::kPsbRfc2217);
    std::vector<Client> clients;
    clients.push_back(
        {"floor (one write, one read)", [&](auto& t) { return floor_round(tcp, per_round, t); }, {}});
    clients.push_back({"library tcp://", [&](auto& t) { return library_round(tcp_url, per_round, t); }, {}});
    clients.push_back(
        {"pyserial socket://",
         [&](auto& t) { return pyserial_round("socket://127.0.0.1:" + std::to_string(tcp), per_round, t); },
         {}});
    clients.push_back(
        {"library rfc2217://", [&](auto& t) { return library_round(rfc_url, per_round, t); }, {}});
    // ser2net on a pseudo-terminal does not acknowledge control lines, which
    // pyserial waits for unless told not to.
    clients.push_back({"pyserial rfc2217://",
                       [&](auto& t) { return pyserial_round(rfc_url + "?ign_set_control", per_round, t); },
                       {}});
    std::erase_if(clients,
                  [&](const Client& c) { return std::string(c.name).find(only) == std::string::npos; });
    for (int r = 0; r < rounds; ++r) {
      for (Client& c : clients) {
        server.wait_released(sim.psb_path());
        if (!c.failed && !c.round(c.tally)) {
          std::fprintf(stderr, "ser2net_sar_bench: %s failed in round %d\n", c.name, r + 1);
          c.failed = true;
          status = 1;
        }
      }
    }
    std::printf("Sar exchange through ser2net on localhost, %d rounds of %d (ms):\n", rounds, per_round);
    std::printf("  %-30s %8s %8s %14s\n", "client", "median", "p90", "lost");
    for (const Client& c : clients) {
      const std::string lost = std::to_string(c.tally.lost) + " of " + std::to_string(c.tally.sent);
      std::printf("  %-30s %8.3f %8.3f %14s\n", c.name, percentile(c.tally.times, 0.5) / 1000,
                  percentile(c.tally.times, 0.9) / 1000, lost.c_str());
      if (c.tally.lost > 0) status = 1;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
