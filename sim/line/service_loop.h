// The thread that serves one board's end of a pseudo-terminal: it waits for
// the master's input, the next deadline or a wake-up, and hands what it read
// to its owner, until stopped. The board server and the tests' scripted
// peer both run on it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tavik::sim {

class ServiceLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // What the loop waits for next: input on fd (none when -1) until due
  // (Clock::time_point::max() for no deadline).
  struct Wait {
    int fd = -1;
    Clock::time_point due = Clock::time_point::max();
  };
  struct Handlers {
    // Does what is due and says what to wait for; before every wait.
    std::function<Wait()> prepare;
    // Bytes read from the fd.
    std::function<void(const std::uint8_t* bytes, std::size_t count)> received;
    // Once, on the thread, when the loop ends (stopped, or poll failed).
    std::function<void()> ended;
  };

  // Makes the wake-up descriptor. Throws std::system_error.
  ServiceLoop();
  // Stops and joins the thread.
  ~ServiceLoop();
  ServiceLoop(const ServiceLoop&) = delete;
  ServiceLoop& operator=(const ServiceLoop&) = delete;

  void start(Handlers handlers);
  // Has the thread call prepare again at once.
  void wake();
  // Ends the loop after its current step and joins it; once is enough.
  void stop();

 private:
  void run();
  bool stopping();

  int wake_fd_ = -1;
  Handlers handlers_;
  std::mutex mutex_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace tavik::sim
