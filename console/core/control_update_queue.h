// Control updates on their way from any thread to the GUI thread, kept in
// the order of the calls.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavik::console {

struct ControlUpdate {
  enum class Kind { Enable, Text, Range, Position };
  Kind kind;
  int id;
  int first = 0;   // enable flag, range low or position
  int second = 0;  // range high
  std::string text;
};

class ControlUpdateQueue {
 public:
  // Appends an update; true when the queue was empty, so that the caller
  // has to see to it being drained.
  bool push(ControlUpdate update) {
    std::lock_guard lock(mutex_);
    updates_.push_back(std::move(update));
    return updates_.size() == 1;
  }

  // Everything queued so far, oldest first; the queue is empty afterwards.
  std::vector<ControlUpdate> take_all() {
    std::lock_guard lock(mutex_);
    return std::exchange(updates_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<ControlUpdate> updates_;
};

}  // namespace tavik::console
