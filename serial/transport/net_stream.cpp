#include "serial/transport/net_stream.h"

#include <algorithm>
#include <cstring>

namespace tavik {

using net::Clock;

bool is_busy_notice(std::string_view text) {
  if (text.size() < 3 || text.substr(text.size() - 2) != "\r\n") return false;
  text.remove_suffix(2);
  for (char c : text) {
    if (c < ' ' || c > '~') return false;
  }
  return text.find("in use") != std::string_view::npos;
}

StreamPort::~StreamPort() { net::close_socket(socket_); }

bool StreamPort::send_all(const std::uint8_t* data, int count, Clock::time_point until) {
  int sent = 0;
  while (sent < count && !lost_) {
    const int n = net::send_some(socket_, data + sent, count - sent);
    if (n > 0) {
      sent += n;
    } else if (n == net::kBroken) {
      // A server that turned the connection away said so before it closed:
      // its words may still wait in the socket.
      while (!lost_ && !beyond_first_ && receive(Clock::now()) > 0) {
      }
      if (!lost_) note_closed();
    } else if (net::wait_for(socket_, true, until) != net::Wait::kReady) {
      return false;
    }
  }
  return sent == count;
}

int StreamPort::receive(Clock::time_point until) {
  bool waited = false;
  for (;;) {
    if (lost_) return 0;
    std::uint8_t bytes[4096];
    const int n = net::receive_some(socket_, bytes, sizeof bytes);
    if (n > 0) {
      count_received(n);
      absorb(bytes, n);
      return n;
    }
    if (n == net::kBroken) {
      note_closed();
      return 0;
    }
    if (waited && Clock::now() >= until) return 0;
    if (net::wait_for(socket_, false, until) != net::Wait::kReady) return 0;
    waited = true;
  }
}

void StreamPort::note_closed() {
  lost_ = true;
  turned_away_ = !beyond_first_ && is_busy_notice(std::string_view(first_, first_len_));
}

void StreamPort::count_received(int count) {
  received_ += count;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - counted_from_).count();
  if (received_ > kBurstBytes + ms * kMostBytesPerMs) flooding_ = true;
}

void StreamPort::absorb(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) deliver(bytes[i]);
}

void StreamPort::deliver(std::uint8_t byte) {
  if (first_len_ < kBusyNoticeMax) {
    first_[first_len_++] = static_cast<char>(byte);
  } else {
    beyond_first_ = true;
  }
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
  const auto gap_from_now = [&] {
    return std::min(deadline, Clock::now() + std::chrono::milliseconds(kReadGapMs));
  };
  int got = take(buffer, count);
  // Until the first byte the whole time-out applies; after each data byte,
  // the gap limit. Bytes that bring no data (Telnet's) do not extend it.
  auto until = got > 0 ? gap_from_now() : deadline;
  while (got < count && !flooding_) {
    if (receive(until) == 0) {
      if (lost_ && got == 0) return -1;
      break;
    }
    if (flooding_) break;
    const int n = take(buffer + got, count - got);
    got += n;
    if (n > 0) until = gap_from_now();
    if (got < count && Clock::now() >= until) break;
  }
  if (flooding_) {
    // What such a peer sends is not a reply: the connection is given up.
    drop_data();
    lost_ = true;
    return -1;
  }
  return got;
}

int StreamPort::read_pending(std::uint8_t* buffer, int count) {
  int got = take(buffer, count);
  for (int received = 0; got < count && received < kPurgeMostBytes;) {
    const int n = receive(Clock::now());
    if (n == 0) break;
    received += n;
    got += take(buffer + got, count - got);
  }
  return got;
}

bool StreamPort::discard() {
  bool dropped = has_data();
  drop_data();
  for (int received = 0; received < kPurgeMostBytes;) {
    const int n = receive(Clock::now());
    if (n == 0) break;
    received += n;
    dropped = dropped || has_data();
    drop_data();
  }
  received_ = 0;
  counted_from_ = Clock::now();
  return dropped;
}

int StreamPort::purge() {
  // What has arrived is dropped; bytes already sent cannot be called back.
  discard();
  return 1;
}

}  // namespace tavik
