// What the boards take from the line: any bytes, of any length, are ignored
// or counted, and the board answers the next good request. Bad frames and
// unknown commands get no reply.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "sim/models/frame_builder.h"
#include "sim_test_util.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik::test {
namespace {

// The host end of a board's line, opened directly to write raw bytes.
class RawLine {
 public:
  explicit RawLine(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      tio.c_cc[VMIN] = 0;
      tio.c_cc[VTIME] = 1;  // reads give up after 100 ms
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~RawLine() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void send(const sim::Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + sent, std::min<std::size_t>(bytes.size() - sent, 512));
      ASSERT_GT(n, 0);
      sent += static_cast<std::size_t>(n);
      ::tcdrain(fd_);
    }
  }
  // Everything that arrives until the line is quiet for 100 ms.
  sim::Bytes receive() {
    sim::Bytes out;
    std::uint8_t buf[256];
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
    return out;
  }

 private:
  int fd_;
};

sim::Bytes with_bad_bcc(sim::Bytes frame) {
  frame.back() ^= 0x01;
  return frame;
}

TEST(SimLine, BadFramesAndUnknownCommandsGetNoReply) {
  sim::Simulator sim;
  RawLine line(sim.psb_path());
  ASSERT_TRUE(line.ok());
  struct Case {
    const char* name;
    sim::Bytes bytes;
    bool answered;
  };
  const Case cases[] = {
      {"good", sim::frame("PDR"), true},
      {"bad bcc", with_bad_bcc(sim::frame("PDR")), false},
      {"unknown", sim::frame("XYZ"), false},
      {"drive board's", sim::frame("AA"), false},
      {"empty", sim::frame(""), false},
      {"P too long", sim::frame("PA111"), false},
      {"SDU no code", sim::frame("SDU"), false},
      {"SDU letter code", sim::frame("SDUx"), false},
      {"P unknown device", sim::frame("PC11"), true},  // refused with status '1'
      {"good again", sim::frame("Sar"), true},
  };
  std::uint64_t ignored = 0;
  for (const Case& c : cases) {
    line.send(c.bytes);
    const sim::Bytes reply = line.receive();
    EXPECT_EQ(!reply.empty(), c.answered) << c.name;
    if (!c.answered) ++ignored;
  }
  const sim::SimStatus s = sim.status();
  EXPECT_EQ(s.psb.bad_frames, ignored);
  EXPECT_EQ(s.psb.served.at("P"), 1u);
  EXPECT_EQ(line.receive().size(), 0u);
}

TEST(SimLine, AnyByteSequenceLeavesTheBoardAnswering) {
  sim::Simulator sim;
  {
    RawLine line(sim.drvb_path());
    ASSERT_TRUE(line.ok());
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    sim::Bytes noise(64 * 1024);
    for (auto& b : noise) b = static_cast<std::uint8_t>(byte(rng));
    line.send(noise);
    // A frame far longer than 256 bytes, then a good request right after it.
    sim::Bytes oversized{0x02};
    oversized.insert(oversized.end(), 5000, 'A');
    line.send(oversized);
    line.send({0x03, 0x00});  // ends whatever frame the noise began
    line.receive();
    line.send(sim::frame("AA"));
    const sim::Bytes reply = line.receive();
    ASSERT_EQ(reply.size(), 12u);
    EXPECT_EQ(reply[0], 0x02);
    EXPECT_EQ(reply[10], 0x03);
  }
  const sim::SimStatus s = sim.status();
  EXPECT_GE(s.drvb.oversized, 1u);
  EXPECT_GT(s.drvb.bad_frames, 0u);
  // The library still finds it sound.
  ASSERT_EQ(zarn_rs232_drvb_create(sim.drvb_path().c_str(), kTimeoutMs), 0);
  int l = -1, r = -1, e = -1;
  EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&l, &r, &e), 0);
  zarn_rs232_drvb_destroy();
}

TEST(SimLine, RequestsFasterThanRepliesCostRepliesNotMemory) {
  sim::Simulator sim;
  sim.execute("fault psb * delay 200");
  {
    RawLine line(sim.psb_path());
    ASSERT_TRUE(line.ok());
    sim::Bytes flood;
    for (int i = 0; i < 500; ++i) {
      const sim::Bytes request = sim::frame("PDR");
      flood.insert(flood.end(), request.begin(), request.end());
    }
    line.send(flood);
    std::this_thread::sleep_for(milliseconds(300));
    const sim::Bytes replies = line.receive();
    EXPECT_GT(replies.size(), 0u);
    EXPECT_LE(replies.size(), 4096u);
  }
  const sim::SimStatus s = sim.status();
  EXPECT_EQ(s.psb.served.at("PDR"), 500u);
  EXPECT_GT(s.psb.overrun, 0u);
  sim.execute("fault clear");
  ASSERT_EQ(zarn_rs232_psb_create(sim.psb_path().c_str(), kTimeoutMs), 0);
  psb_power_data power{};
  EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
  zarn_rs232_psb_destroy();
}

// The scripted peer, which byte-exact request tests rely on, records what
// came on the line, not only the frames it found in it.
TEST(ScriptedPeerLine, RecordsStrayBytesAroundRequests) {
  test::ScriptedPeer peer;
  RawLine line(peer.path());
  ASSERT_TRUE(line.ok());
  const sim::Bytes sar = sim::frame("Sar");
  sim::Bytes sent = {0x41};  // a byte ahead of the first frame
  sent.insert(sent.end(), sar.begin(), sar.end());
  sent.insert(sent.end(), sar.begin(), sar.end());
  sent.push_back(0x00);  // and one after the last
  line.send(sent);
  ASSERT_TRUE(peer.wait_for_requests(2, milliseconds(1000)));
  std::this_thread::sleep_for(milliseconds(50));
  sim::Bytes first = {0x41};
  first.insert(first.end(), sar.begin(), sar.end());
  EXPECT_EQ(peer.take_requests(), (std::vector<sim::Bytes>{first, sar, {0x00}}));
  EXPECT_TRUE(peer.requests().empty());
}

}  // namespace
}  // namespace tavik::test
