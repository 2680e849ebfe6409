#include "sim/line/board_server.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "sim/line/reply_fault.h"
#include "sim/models/robot_model.h"

namespace tavik::sim {

using Clock = std::chrono::steady_clock;

namespace {

// Paced replies leave in chunks of this many bytes.
constexpr std::size_t kPaceChunk = 16;
// Replies waiting for the line, at most; a host that sends requests faster
// than the replies can leave loses the replies beyond it, as a full
// transmit buffer would.
constexpr std::size_t kMaxQueuedBytes = 4096;

}  // namespace

BoardServer::BoardServer(BoardServerOptions options) : options_(std::move(options)), rng_(options_.seed) {
  if (!options_.link_dir.empty()) pty_.publish(options_.link_dir, options_.link_name);
  counters_.path = pty_.slave_path();
  counters_.link = pty_.link_path();
  loop_.start({[this] { return prepare(); },
               [this](const std::uint8_t* bytes, std::size_t count) { on_bytes(bytes, count); },
               [this] {
                 std::lock_guard<std::mutex> lock(mutex_);
                 ended_ = true;
                 op_done_.notify_all();
               }});
}

BoardServer::~BoardServer() { loop_.stop(); }

std::string BoardServer::path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_.path;
}

std::string BoardServer::link() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_.link;
}

bool BoardServer::plugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_.plugged;
}

BoardCounters BoardServer::counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

void BoardServer::set_fault(const Fault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(faults_, [&](const Fault& f) { return f.command == fault.command; });
  faults_.push_back(fault);
}

void BoardServer::clear_faults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

Bytes BoardServer::take_received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(received_, {});
}

void BoardServer::unplug() {
  std::unique_lock<std::mutex> lock(mutex_);
  op_ = Op::kUnplug;
  loop_.wake();
  op_done_.wait(lock, [&] { return op_ == Op::kNone || ended_; });
}

void BoardServer::replug() {
  std::unique_lock<std::mutex> lock(mutex_);
  op_ = Op::kReplug;
  loop_.wake();
  op_done_.wait(lock, [&] { return op_ == Op::kNone || ended_; });
}

void BoardServer::run_op(Op op) {
  // Runs on the server's thread with mutex_ held.
  if (op == Op::kUnplug) {
    pty_.unplug();
    out_.clear();
    queued_bytes_ = 0;
    reader_.reset();
  } else if (op == Op::kReplug) {
    try {
      pty_.replug();
    } catch (const std::system_error&) {
      // No new pseudo-terminal or link: the board stays unplugged.
    }
    reader_.reset();
  }
  counters_.plugged = pty_.plugged();
  counters_.path = pty_.plugged() ? pty_.slave_path() : std::string();
  counters_.link = pty_.link_path();
}

void BoardServer::on_request(std::string_view command) {
  const auto info = classify_request(options_.board, command);
  std::optional<Fault> fault;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!info) {
      ++counters_.bad_frames;
      return;
    }
    ++counters_.served[info->key];
    auto match = std::find_if(faults_.rbegin(), faults_.rend(),
                              [&](const Fault& f) { return f.command == info->key; });
    if (match == faults_.rend()) {
      match = std::find_if(faults_.rbegin(), faults_.rend(), [](const Fault& f) { return f.command == "*"; });
    }
    if (match != faults_.rend()) {
      std::bernoulli_distribution hit(std::clamp(match->probability, 0.0, 1.0));
      if (hit(rng_)) {
        fault = *match;
        ++counters_.faulted;
        if (match->hits > 0 && --match->hits == 0) faults_.erase(std::next(match).base());
      }
    }
  }
  const auto now = Clock::now();
  if (fault && (fault->kind == FaultKind::kSilence || fault->kind == FaultKind::kDrop)) return;
  Bytes reply;
  if (fault && fault->kind == FaultKind::kBadStatus && info->status_reply) {
    reply = refusal(*fault);
  } else if (options_.answer) {
    reply = options_.answer(command);
  }
  if (reply.empty()) return;
  auto start = now;
  if (fault) {
    garble_reply(*fault, reply, rng_);
    if (fault->kind == FaultKind::kDelay) start += std::max(fault->delay, std::chrono::milliseconds(0));
  }
  schedule(std::move(reply), start);
}

void BoardServer::schedule(Bytes reply, Clock::time_point start) {
  if (queued_bytes_ + reply.size() > kMaxQueuedBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.overrun;
    return;
  }
  queued_bytes_ += reply.size();
  // One reply after the other, as on a real line.
  start = std::max(start, line_free_);
  if (!options_.pace) {
    out_.push_back({std::move(reply), start});
    line_free_ = start;
    return;
  }
  for (std::size_t sent = 0; sent < reply.size(); sent += kPaceChunk) {
    const std::size_t n = std::min(kPaceChunk, reply.size() - sent);
    const auto offset = std::chrono::duration_cast<Clock::duration>(kByteTime * static_cast<long>(sent));
    out_.push_back(
        {Bytes(reply.begin() + static_cast<long>(sent), reply.begin() + static_cast<long>(sent + n)),
         start + offset});
  }
  line_free_ =
      start + std::chrono::duration_cast<Clock::duration>(kByteTime * static_cast<long>(reply.size()));
}

Clock::time_point BoardServer::flush(Clock::time_point now) {
  while (!out_.empty() && out_.front().due <= now) {
    const Bytes& bytes = out_.front().bytes;
    std::size_t sent = 0;
    while (sent < bytes.size() && pty_.plugged()) {
      ssize_t n = ::write(pty_.master_fd(), bytes.data() + sent, bytes.size() - sent);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (!(n < 0 && errno == EINTR)) {
        break;  // the line is full (nobody reads) or gone: the rest is lost
      }
    }
    queued_bytes_ -= bytes.size();
    out_.pop_front();
  }
  return out_.empty() ? Clock::time_point::max() : out_.front().due;
}

ServiceLoop::Wait BoardServer::prepare() {
  int master = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (op_ != Op::kNone) {
      run_op(op_);
      op_ = Op::kNone;
      op_done_.notify_all();
    }
    master = pty_.master_fd();
  }
  const auto now = Clock::now();
  if (options_.tick && now >= next_tick_) {
    options_.tick();
    next_tick_ = now + options_.tick_period;
  }
  auto until = flush(now);
  if (options_.tick) until = std::min(until, next_tick_);
  return {master, until};
}

void BoardServer::on_bytes(const std::uint8_t* chunk, std::size_t n) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), chunk, chunk + n);
    if (received_.size() > kMaxRecordedBytes) {
      received_.erase(received_.begin(), received_.end() - static_cast<long>(kMaxRecordedBytes));
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    switch (reader_.feed(chunk[i])) {
      case RequestReader::Event::kNone:
        break;
      case RequestReader::Event::kRequest:
        on_request(reader_.command());
        break;
      case RequestReader::Event::kBadBcc: {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.bad_frames;
        break;
      }
      case RequestReader::Event::kOversized: {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.oversized;
        break;
      }
    }
  }
}

}  // namespace tavik::sim
