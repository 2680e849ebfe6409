// One substitute board on its pseudo-terminal: a thread that reads requests,
// has them answered, puts the board's faults on the replies and writes them
// out, paced at the line rate when asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/line/pty_endpoint.h"
#include "sim/line/request_reader.h"
#include "sim/line/service_loop.h"
#include "sim/models/fault.h"
#include "sim/models/frame_builder.h"
#include "sim/models/sim_status.h"

namespace tavik::sim {

// Time one byte takes on the line: ten bits at 115200 baud.
inline constexpr std::chrono::nanoseconds kByteTime{86806};
// Received bytes kept for take_received(), at most.
inline constexpr std::size_t kMaxRecordedBytes = 4096;

struct BoardServerOptions {
  Board board = Board::kPsb;
  std::string link_dir;  // publish link_dir/link_name when not empty
  std::string link_name;
  bool pace = false;
  std::uint64_t seed = 1;
  // Answers one request (command letters and arguments); empty for silence.
  // Runs on the server's thread.
  std::function<Bytes(std::string_view command)> answer;
  // Called on the server's thread at least every tick_period while running.
  std::function<void()> tick;
  std::chrono::milliseconds tick_period{10};
};

class BoardServer {
 public:
  // Opens the pseudo-terminal, publishes the link and starts the thread.
  // Throws std::system_error when the pseudo-terminal or link cannot be made.
  explicit BoardServer(BoardServerOptions options);
  // Stops and joins the thread, removes the link, closes the pseudo-terminal.
  ~BoardServer();
  BoardServer(const BoardServer&) = delete;
  BoardServer& operator=(const BoardServer&) = delete;

  std::string path() const;
  std::string link() const;
  bool plugged() const;
  BoardCounters counters() const;

  // The fault set last for a command replaces an earlier one for it.
  void set_fault(const Fault& fault);
  void clear_faults();

  // The bytes the board received since the last call (the last
  // kMaxRecordedBytes of them), as they came, requests and noise alike.
  Bytes take_received();

  // Both return once done on the server's thread.
  void unplug();
  void replug();

 private:
  enum class Op { kNone, kUnplug, kReplug };
  struct Chunk {
    Bytes bytes;
    std::chrono::steady_clock::time_point due;
  };

  ServiceLoop::Wait prepare();
  void on_bytes(const std::uint8_t* bytes, std::size_t count);
  void run_op(Op op);
  void on_request(std::string_view command);
  void schedule(Bytes reply, std::chrono::steady_clock::time_point start);
  // Writes the chunks that are due; returns the due time of the next one.
  std::chrono::steady_clock::time_point flush(std::chrono::steady_clock::time_point now);

  BoardServerOptions options_;
  PtyEndpoint pty_;  // used by the server's thread only, once it runs

  // Server thread only.
  RequestReader reader_;
  std::deque<Chunk> out_;
  std::size_t queued_bytes_ = 0;
  std::chrono::steady_clock::time_point line_free_{};
  std::mt19937_64 rng_;
  std::chrono::steady_clock::time_point next_tick_ = std::chrono::steady_clock::now();

  mutable std::mutex mutex_;
  std::condition_variable op_done_;
  Op op_ = Op::kNone;
  bool ended_ = false;  // the thread is gone: no op will be done
  std::vector<Fault> faults_;
  BoardCounters counters_;
  Bytes received_;
  ServiceLoop loop_;  // last: stopped first
};

}  // namespace tavik::sim
