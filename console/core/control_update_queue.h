// Control updates on their way from any thread to the GUI thread, kept in
// the order of the calls.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavik::console {

struct ControlUpdate {
  enum class Kind { Enable, Text, Range, Position, Stale };
  Kind kind;
  int id;
  int first = 0;   // enable or stale flag, range low or position
  int second = 0;  // range high
  std::string text;
};

class ControlUpdateQueue {
 public:
  // Appends an update unless it repeats the last one queued for the same
  // control and kind (a poller writing the value that is already shown):
  // every widget write costs a repaint. True when the queue was empty, so
  // that the caller has to see to it being drained.
  bool push(ControlUpdate update) {
    std::lock_guard lock(mutex_);
    auto [last, added] = last_.try_emplace(key(update), update);
    if (!added) {
      if (same_value(last->second, update)) return false;
      last->second = update;
    }
    updates_.push_back(std::move(update));
    return updates_.size() == 1;
  }

  bool empty() {
    std::lock_guard lock(mutex_);
    return updates_.empty();
  }

  // Everything queued so far, oldest first; the queue is empty afterwards.
  std::vector<ControlUpdate> take_all() {
    std::lock_guard lock(mutex_);
    return std::exchange(updates_, {});
  }

 private:
  static std::uint64_t key(const ControlUpdate& u) {
    return (static_cast<std::uint64_t>(u.kind) << 32) | static_cast<std::uint32_t>(u.id);
  }
  static bool same_value(const ControlUpdate& a, const ControlUpdate& b) {
    return a.first == b.first && a.second == b.second && a.text == b.text;
  }

  std::mutex mutex_;
  std::vector<ControlUpdate> updates_;
  std::unordered_map<std::uint64_t, ControlUpdate> last_;  // by control and kind
};

}  // namespace tavik::console
