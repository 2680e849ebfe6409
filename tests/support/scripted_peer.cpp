#include "sim/scripted_peer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "serial/frame_assembler.h"
#include "serial/frame_codec.h"

namespace tavik::sim {

using Clock = std::chrono::steady_clock;

ScriptedPeer::ScriptedPeer() {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  std::uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
  thread_.join();
  ::close(wake_fd_);
}

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
  std::uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
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

void ScriptedPeer::run() {
  std::uint8_t frame_buf[kFrameSize] = {};
  FrameAssembler assembler(frame_buf, sizeof frame_buf, FrameShape::kEtxTerminated);
  for (;;) {
    int timeout_ms = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      while (!pending_.empty() && pending_.front().due <= Clock::now()) {
        Bytes bytes = std::move(pending_.front().bytes);
        pending_.pop_front();
        write_all(bytes);
      }
      if (!pending_.empty()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(pending_.front().due - Clock::now());
        timeout_ms = static_cast<int>(std::max<long>(0, left.count()));
      }
    }
    pollfd fds[2] = {{pty_.master_fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    int r = ::poll(fds, 2, timeout_ms);
    if (r < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) {
      std::uint64_t value;
      (void)!::read(wake_fd_, &value, sizeof value);
    }
    if (!(fds[0].revents & POLLIN)) continue;
    std::uint8_t chunk[256];
    ssize_t n = ::read(pty_.master_fd(), chunk, sizeof chunk);
    for (ssize_t i = 0; i < n; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        unframed_.push_back(chunk[i]);
      }
      switch (assembler.feed(chunk[i])) {
        case FrameAssembler::Step::kComplete:
          on_request(Bytes(frame_buf, frame_buf + assembler.size()));
          assembler.reset();
          break;
        case FrameAssembler::Step::kOverflow: {
          std::lock_guard<std::mutex> lock(mutex_);
          ++oversized_;
          assembler.reset();
          break;
        }
        case FrameAssembler::Step::kMore:
          break;
      }
    }
  }
}

}  // namespace tavik::sim
