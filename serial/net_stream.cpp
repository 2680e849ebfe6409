#include "serial/net_stream.h"

#include <algorithm>
#include <cstring>

namespace tavik {

using net::Clock;

StreamPort::~StreamPort() { net::close_socket(socket_); }

bool StreamPort::send_all(const std::uint8_t* data, int count, Clock::time_point until) {
  int sent = 0;
  while (sent < count && !lost_) {
    const int n = net::send_some(socket_, data + sent, count - sent);
    if (n > 0) {
      sent += n;
    } else if (n == net::kBroken) {
      lost_ = true;
    } else if (net::wait_for(socket_, true, until) != net::Wait::kReady) {
      return false;
    }
  }
  return sent == count;
}

bool StreamPort::receive(Clock::time_point until) {
  bool waited = false;
  for (;;) {
    if (lost_) return false;
    std::uint8_t bytes[1024];
    const int n = net::receive_some(socket_, bytes, sizeof bytes);
    if (n > 0) {
      absorb(bytes, n);
      return true;
    }
    if (n == net::kBroken) {
      lost_ = true;
      return false;
    }
    if (waited && Clock::now() >= until) return false;
    const net::Wait w = net::wait_for(socket_, false, until);
    if (w == net::Wait::kFailed) return false;
    if (w == net::Wait::kTimeout) return false;
    waited = true;
  }
}

void StreamPort::absorb(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) deliver(bytes[i]);
}

void StreamPort::deliver(std::uint8_t byte) {
  if (pos_ == len_) pos_ = len_ = 0;
  if (len_ == static_cast<int>(sizeof data_)) {
    // More than a reply's worth unread: the oldest bytes go, as a full
    // driver queue would lose them.
    std::memmove(data_, data_ + pos_, static_cast<std::size_t>(len_ - pos_));
    len_ -= pos_;
    pos_ = 0;
    if (len_ == static_cast<int>(sizeof data_)) {
      std::memmove(data_, data_ + 1, sizeof data_ - 1);
      --len_;
    }
  }
  data_[len_++] = byte;
}

int StreamPort::take(std::uint8_t* buffer, int count) {
  const int n = std::min(count, len_ - pos_);
  std::memcpy(buffer, data_ + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

int StreamPort::write(const std::uint8_t* data, int count, int timeout_ms) {
  if (lost_) return -1;
  const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
  if (send_all(data, count, until)) return count;
  return lost_ ? -1 : 0;
}

int StreamPort::read(std::uint8_t* buffer, int count, int timeout_ms, int) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int got = take(buffer, count);
  while (got < count) {
    // Until the first byte the whole time-out applies; after it, the gap limit.
    auto until = deadline;
    if (got > 0) until = std::min(deadline, Clock::now() + std::chrono::milliseconds(kReadGapMs));
    if (!receive(until)) {
      if (lost_ && got == 0) return -1;
      break;
    }
    got += take(buffer + got, count - got);
  }
  return got;
}

int StreamPort::read_pending(std::uint8_t* buffer, int count) {
  int got = take(buffer, count);
  while (got < count && receive(Clock::now())) got += take(buffer + got, count - got);
  return got;
}

bool StreamPort::discard() {
  bool dropped = has_data();
  drop_data();
  while (receive(Clock::now())) {
    dropped = dropped || has_data();
    drop_data();
  }
  return dropped;
}

int StreamPort::purge() {
  // What has arrived is dropped; bytes already sent cannot be called back.
  discard();
  return 1;
}

}  // namespace tavik
