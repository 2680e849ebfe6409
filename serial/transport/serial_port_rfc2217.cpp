// RFC 2217 transport (rfc2217://HOST:PORT): Telnet with the COM-PORT-OPTION,
// to a server such as ser2net's telnet(rfc2217) accepter. The open asks for
// the option, sets the line (115200 8N1, no flow control, DTR and RTS up)
// and checks the speed, data size, parity and stop size the server reports
// back. Control lines and flow control are not awaited: a server on a
// pseudo-terminal does not acknowledge them. Data goes with 0xFF doubled
// (IAC IAC) both ways. A purge that finds bytes received (stray bytes, a
// late reply) is sent as PURGE-DATA along with the next request, so that the
// server discards what it still holds before it writes that request; a purge
// on a clean line stays local, as the server's answer to PURGE-DATA, sent
// ahead of the reply, would hold the reply back (Nagle's algorithm on the
// server against a delayed acknowledgement here, 40 to 200 ms). The server's line- and modem-state
// notifications are traced; other Telnet options are declined.
#include <algorithm>
#include <new>

#include "serial/transport/net_stream.h"
#include "serial/transport/wire_trace.h"

namespace tavik {
namespace {

constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM-PORT-OPTION commands, client to server; the server answers each with
// the same code plus kServerOffset.
constexpr std::uint8_t kSetBaudrate = 1, kSetDatasize = 2, kSetParity = 3, kSetStopsize = 4, kSetControl = 5,
                       kNotifyLinestate = 6, kNotifyModemstate = 7, kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;
constexpr std::uint8_t kParityNone = 1, kOneStopBit = 1, kNoFlowControl = 1, kDtrOn = 8, kRtsOn = 11;
constexpr std::uint8_t kPurgeBoth = 3;

class Rfc2217Port final : public StreamPort {
 public:
  explicit Rfc2217Port(net::Socket socket) : StreamPort(socket) {}

  // Negotiates the option and sets the line by the deadline.
  Failure start(net::Clock::time_point deadline);

  int write(const std::uint8_t* data, int count, int timeout_ms) override;
  int read_pending(std::uint8_t* buffer, int count) override {
    const int got = StreamPort::read_pending(buffer, count);
    stray_ = stray_ || got > 0;
    return got;
  }
  int purge() override {
    purge_due_ = discard() || stray_ || purge_due_;
    stray_ = false;
    return 1;
  }

 private:
  enum class State { kData, kCommand, kOption, kSub, kSubCommand };

  void absorb(const std::uint8_t* bytes, int count) override;
  // Why an open that found the connection dropped fails: busy when the
  // server turned it away, else connection lost.
  Failure lost_failure() const { return lost_as() != Failure::kNone ? lost_as() : Failure::kConnectionLost; }
  void option(std::uint8_t verb, std::uint8_t code);
  void subnegotiation();
  void reply(std::uint8_t verb, std::uint8_t code);

  State state_ = State::kData;
  std::uint8_t verb_ = 0;
  std::uint8_t sub_[16] = {};
  int sub_len_ = 0;
  bool purge_due_ = false;
  bool stray_ = false;  // bytes taken for the trace of a purge
  // What the server said during the open.
  bool accepted_ = false, declined_ = false;
  long baud_ = -1;
  int datasize_ = -1, parity_ = -1, stopsize_ = -1, flow_ = -1;
  // Answers to send (declined options), sent with the next write or at once.
  std::uint8_t answers_[24] = {};
  int answers_len_ = 0;
};

void Rfc2217Port::reply(std::uint8_t verb, std::uint8_t code) {
  if (answers_len_ + 3 > static_cast<int>(sizeof answers_)) return;
  answers_[answers_len_++] = kIac;
  answers_[answers_len_++] = verb;
  answers_[answers_len_++] = code;
}

void Rfc2217Port::option(std::uint8_t verb, std::uint8_t code) {
  const bool ours = code == kComPort || code == kBinary || code == kSuppressGoAhead;
  if (verb == kDo && code == kComPort) accepted_ = true;
  if (verb == kDont && code == kComPort) declined_ = true;
  // Asked for (or already agreed) are binary, suppress-go-ahead and, from
  // this side only, the COM port option.
  if (verb == kDo && !ours) reply(kWont, code);
  if (verb == kWill && (!ours || code == kComPort)) reply(kDont, code);
}

void Rfc2217Port::subnegotiation() {
  if (sub_len_ < 2 || sub_[0] != kComPort) return;
  const std::uint8_t command = sub_[1];
  const std::uint8_t* value = sub_ + 2;
  const int length = sub_len_ - 2;
  switch (command) {
    case kServerOffset + kSetBaudrate:
      if (length == 4)
        baud_ = (long{value[0]} << 24) | (long{value[1]} << 16) | (long{value[2]} << 8) | value[3];
      break;
    case kServerOffset + kSetDatasize:
      if (length == 1) datasize_ = value[0];
      break;
    case kServerOffset + kSetParity:
      if (length == 1) parity_ = value[0];
      break;
    case kServerOffset + kSetStopsize:
      if (length == 1) stopsize_ = value[0];
      break;
    case kServerOffset + kSetControl:
      if (length == 1 && value[0] >= 1 && value[0] <= 3) flow_ = value[0];
      break;
    case kServerOffset + kNotifyLinestate:
    case kServerOffset + kNotifyModemstate:
      if (trace_board != nullptr) {
        wire_trace_line(trace_board, "notify", value, length,
                        command == kServerOffset + kNotifyLinestate ? "line state" : "modem state");
      }
      break;
    default:
      break;
  }
}

void Rfc2217Port::absorb(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kCommand;
        } else {
          deliver(b);
        }
        break;
      case State::kCommand:
        state_ = State::kData;
        if (b == kIac) {
          deliver(b);
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = State::kOption;
        } else if (b == kSb) {
          sub_len_ = 0;
          state_ = State::kSub;
        }
        break;
      case State::kOption:
        option(verb_, b);
        state_ = State::kData;
        break;
      case State::kSub:
        if (b == kIac) {
          state_ = State::kSubCommand;
        } else if (sub_len_ < static_cast<int>(sizeof sub_)) {
          sub_[sub_len_++] = b;
        }
        break;
      case State::kSubCommand:
        if (b == kSe) {
          subnegotiation();
          state_ = State::kData;
        } else {
          if (sub_len_ < static_cast<int>(sizeof sub_)) sub_[sub_len_++] = b;  // IAC IAC: a 0xFF value
          state_ = State::kSub;
        }
        break;
    }
  }
}

int Rfc2217Port::write(const std::uint8_t* data, int count, int timeout_ms) {
  if (lost_) return -1;
  const auto until = net::Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::uint8_t out[512];
  int length = 0;
  std::copy(answers_, answers_ + answers_len_, out);
  length = answers_len_;
  answers_len_ = 0;
  if (purge_due_) {
    const std::uint8_t purge[] = {kIac, kSb, kComPort, kPurgeData, kPurgeBoth, kIac, kSe};
    std::copy(purge, purge + sizeof purge, out + length);
    length += static_cast<int>(sizeof purge);
    purge_due_ = false;
  }
  int written = 0;
  for (int i = 0; i < count; ++i) {
    if (length + 2 > static_cast<int>(sizeof out)) {
      if (!send_all(out, length, until)) return lost_ ? -1 : written;
      length = 0;
      written = i;
    }
    out[length++] = data[i];
    if (data[i] == kIac) out[length++] = kIac;
  }
  if (!send_all(out, length, until)) return lost_ ? -1 : written;
  return count;
}

Failure Rfc2217Port::start(net::Clock::time_point deadline) {
  const std::uint8_t ask[] = {kIac, kWill, kComPort,         kIac, kWill, kBinary,         kIac, kDo, kBinary,
                              kIac, kWill, kSuppressGoAhead, kIac, kDo,   kSuppressGoAhead};
  if (!send_all(ask, sizeof ask, deadline)) return lost_ ? lost_failure() : Failure::kNotSerial;
  // Each receive ends by the deadline, and the deadline is looked at after
  // each: a peer that never stops sending ends the open as a silent one does.
  while (!accepted_ && !declined_) {
    if (net::Clock::now() >= deadline || receive(deadline) == 0)
      return lost_ ? lost_failure() : Failure::kNotSerial;
  }
  if (declined_) return Failure::kNotSerial;
  const auto b = static_cast<std::uint32_t>(kBaudRate);
  const std::uint8_t set[] = {kIac,
                              kSb,
                              kComPort,
                              kSetBaudrate,
                              static_cast<std::uint8_t>(b >> 24),
                              static_cast<std::uint8_t>(b >> 16),
                              static_cast<std::uint8_t>(b >> 8),
                              static_cast<std::uint8_t>(b),
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetDatasize,
                              8,
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetParity,
                              kParityNone,
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetStopsize,
                              kOneStopBit,
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetControl,
                              kNoFlowControl,
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetControl,
                              kDtrOn,
                              kIac,
                              kSe,
                              kIac,
                              kSb,
                              kComPort,
                              kSetControl,
                              kRtsOn,
                              kIac,
                              kSe};
  if (!send_all(answers_, answers_len_, deadline) || !send_all(set, sizeof set, deadline)) {
    return lost_ ? lost_failure() : Failure::kOpenFailed;
  }
  answers_len_ = 0;
  while (baud_ < 0 || datasize_ < 0 || parity_ < 0 || stopsize_ < 0) {
    if (net::Clock::now() >= deadline || receive(deadline) == 0)
      return lost_ ? lost_failure() : Failure::kOpenFailed;
  }
  drop_data();
  const bool set_as_asked = baud_ == kBaudRate && datasize_ == 8 && parity_ == kParityNone &&
                            stopsize_ == kOneStopBit && (flow_ < 0 || flow_ == kNoFlowControl);
  return set_as_asked ? Failure::kNone : Failure::kOpenFailed;
}

}  // namespace

PortTransport* rfc2217_open(const PortUrl& url, int timeout_ms, Failure& why) {
  const auto deadline = net::Clock::now() + std::chrono::milliseconds(std::min(timeout_ms, kConnectBoundMs));
  const net::Socket socket = net::connect_to(url.host, url.port, deadline, why);
  if (socket == net::kNoSocket) return nullptr;
  auto* port = new (std::nothrow) Rfc2217Port(socket);
  if (port == nullptr) {
    net::close_socket(socket);
    why = Failure::kOpenFailed;
    return nullptr;
  }
  why = port->start(deadline);
  if (why == Failure::kNone) return port;
  delete port;
  return nullptr;
}

}  // namespace tavik
