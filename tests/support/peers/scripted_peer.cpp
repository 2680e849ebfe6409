#include "tests/support/peers/scripted_peer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tavik::test {

using Clock = std::chrono::steady_clock;

ScriptedPeer::ScriptedPeer() {
  loop_.start({[this] { return prepare(); },
               [this](const std::uint8_t* bytes, std::size_t count) { on_bytes(bytes, count); },
               {}});
}

ScriptedPeer::~ScriptedPeer() { loop_.stop(); }

void ScriptedPeer::respond(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void ScriptedPeer::queue(ScriptedReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_.push_back(std::move(reply));
}

void ScriptedPeer::send_now(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.push_back({bytes, Clock::now()});
  loop_.wake();
}

std::vector<Bytes> ScriptedPeer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Bytes> out = requests_;
  if (!unframed_.empty()) out.push_back(unframed_);
  return out;
}

void ScriptedPeer::clear_requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
  unframed_.clear();
}

std::vector<Bytes> ScriptedPeer::take_requests() {
  std::vector<Bytes> out = requests();
  clear_requests();
  return out;
}

bool ScriptedPeer::wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return received_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

int ScriptedPeer::overlaps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return overlaps_;
}

int ScriptedPeer::oversized() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oversized_;
}

void ScriptedPeer::on_request(const Bytes& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  requests_.push_back(std::exchange(unframed_, {}));
  if (!pending_.empty()) ++overlaps_;
  ScriptedReply reply;
  if (!queued_.empty()) {
    reply = std::move(queued_.front());
    queued_.pop_front();
  } else if (responder_) {
    Responder responder = responder_;
    lock.unlock();
    reply = responder(request);
    lock.lock();
  }
  if (!reply.bytes.empty()) pending_.push_back({std::move(reply.bytes), Clock::now() + reply.delay});
  received_.notify_all();
}

void ScriptedPeer::write_all(const Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::write(pty_.master_fd(), bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd pfd{pty_.master_fd(), POLLOUT, 0};
      if (::poll(&pfd, 1, 100) <= 0) return;  // the other side does not read: drop the rest
    } else if (!(n < 0 && errno == EINTR)) {
      return;
    }
  }
}

sim::ServiceLoop::Wait ScriptedPeer::prepare() {
  std::lock_guard<std::mutex> lock(mutex_);
  while (!pending_.empty() && pending_.front().due <= Clock::now()) {
    Bytes bytes = std::move(pending_.front().bytes);
    pending_.pop_front();
    write_all(bytes);
  }
  return {pty_.master_fd(), pending_.empty() ? Clock::time_point::max() : pending_.front().due};
}

void ScriptedPeer::on_bytes(const std::uint8_t* chunk, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      unframed_.push_back(chunk[i]);
    }
    switch (assembler_.feed(chunk[i])) {
      case FrameAssembler::Step::kComplete:
        on_request(Bytes(frame_, frame_ + assembler_.size()));
        assembler_.reset();
        break;
      case FrameAssembler::Step::kOverflow: {
        std::lock_guard<std::mutex> lock(mutex_);
        ++oversized_;
        assembler_.reset();
        break;
      }
      case FrameAssembler::Step::kMore:
        break;
    }
  }
}

}  // namespace tavik::test
