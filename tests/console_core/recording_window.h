// A ConsoleWindow for the tests: it records every call and keeps the state
// the calls leave behind (enable states, texts, lists, bars, messages).
// Thread-safe, since the console's workers call it from their own threads.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/core/console_window.h"

namespace tavik::test {

struct WindowCall {
  std::string op;  // enable, text, select, insert, range, pos, message, start
  int id = 0;
  std::string text;
  int a = 0;
  int b = 0;
  std::thread::id thread = std::this_thread::get_id();  // who made the call
};

// What the window shows after the calls so far.
struct WindowState {
  std::vector<WindowCall> calls;
  std::map<int, bool> enabled;  // controls never touched keep the template's state: enabled
  std::map<int, std::string> texts;
  std::map<int, int> text_writes;  // how often each control's text was set
  std::map<int, std::vector<std::string>> lists;
  std::map<int, int> selections;
  std::map<int, std::pair<int, int>> ranges;
  std::map<int, int> positions;
  std::map<int, bool> stale;  // read-outs drawn stale; never touched: current
  std::vector<std::string> messages;
  int starts = 0;
  int workers_alive = 0;
  int most_workers_alive = 0;

  bool is_enabled(int id) const {
    auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }
  std::string text(int id) const {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  int writes(int id) const {
    auto it = text_writes.find(id);
    return it == text_writes.end() ? 0 : it->second;
  }
  bool is_stale(int id) const {
    auto it = stale.find(id);
    return it != stale.end() && it->second;
  }
  int selection(int id) const {
    auto it = selections.find(id);
    return it == selections.end() ? -1 : it->second;
  }
};

class RecordingWindow : public console::ConsoleWindow {
 public:
  void EnableControl(int id, bool enable) override {
    change([&](WindowState& s) {
      s.calls.push_back({"enable", id, {}, enable ? 1 : 0, 0});
      s.enabled[id] = enable;
    });
  }
  void SetControlText(int id, const std::string& text) override {
    change([&](WindowState& s) {
      s.calls.push_back({"text", id, text, 0, 0});
      s.texts[id] = text;
      ++s.text_writes[id];
    });
  }
  void SetControlStale(int id, bool is_stale) override {
    change([&](WindowState& s) { s.stale[id] = is_stale; });
  }
  int GetListSelection(int id) override { return snapshot().selection(id); }
  void SetListSelection(int id, int index) override {
    change([&](WindowState& s) {
      s.calls.push_back({"select", id, {}, index, 0});
      s.selections[id] = index;
    });
  }
  void InsertListItem(int id, int index, const std::string& text) override {
    change([&](WindowState& s) {
      s.calls.push_back({"insert", id, text, index, 0});
      auto& items = s.lists[id];
      const auto at = std::min<std::size_t>(static_cast<std::size_t>(std::max(index, 0)), items.size());
      items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), text);
    });
  }
  void SetProgressRange(int id, int low, int high) override {
    change([&](WindowState& s) {
      s.calls.push_back({"range", id, {}, low, high});
      s.ranges[id] = {low, high};
    });
  }
  void SetProgressPos(int id, int pos) override {
    change([&](WindowState& s) {
      s.calls.push_back({"pos", id, {}, pos, 0});
      s.positions[id] = pos;
    });
  }
  void ShowMessage(const std::string& text) override {
    change([&](WindowState& s) {
      s.calls.push_back({"message", 0, text, 0, 0});
      s.messages.push_back(text);
    });
  }
  std::string GetWriteParamText() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return write_param_;
  }
  std::string GetListText(int id) override {
    std::lock_guard<std::mutex> guard(mutex_);
    const int selected = state_.selection(id);
    const auto& items = state_.lists[id];
    if (selected >= 0 && selected < static_cast<int>(items.size()))
      return items[static_cast<std::size_t>(selected)];
    return typed_[id];
  }
  std::vector<console::SystemPort> SystemPorts() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return system_ports_;
  }
  std::string RememberedPort(const std::string& key) override {
    std::lock_guard<std::mutex> guard(mutex_);
    return remembered_[key];
  }
  void RememberPort(const std::string& key, const std::string& name) override {
    std::lock_guard<std::mutex> guard(mutex_);
    remembered_[key] = name;
  }
  bool StartThread(std::thread& thread, std::function<void()> fn) override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      state_.calls.push_back({"start", 0, {}, 0, 0});
      ++state_.starts;
      if (failing_starts_ > 0) {
        --failing_starts_;
        return false;
      }
    }
    return ConsoleWindow::StartThread(thread, [this, fn = std::move(fn)] {
      change(
          [](WindowState& s) { s.most_workers_alive = std::max(s.most_workers_alive, ++s.workers_alive); });
      fn();
      change([](WindowState& s) { --s.workers_alive; });
    });
  }

  // The operator's side.
  void type_write_param(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    write_param_ = text;
  }
  void select(int id, int index) { SetListSelection(id, index); }
  // Types `text` into the edit field of list `id`: no entry is selected.
  void type(int id, const std::string& text) {
    SetListSelection(id, -1);
    std::lock_guard<std::mutex> guard(mutex_);
    typed_[id] = text;
  }
  // What the system reports and remembers, before OnInitDialog.
  void set_system_ports(std::vector<console::SystemPort> ports) {
    std::lock_guard<std::mutex> guard(mutex_);
    system_ports_ = std::move(ports);
  }
  // The next n thread starts fail.
  void fail_starts(int n) {
    std::lock_guard<std::mutex> guard(mutex_);
    failing_starts_ = n;
  }

  WindowState snapshot() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return state_;
  }
  // Waits until pred(state) holds; false when `timeout` passed first.
  bool wait_for(const std::function<bool(const WindowState&)>& pred,
                std::chrono::milliseconds timeout = std::chrono::seconds(3)) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(state_); });
  }
  void forget_calls() {
    std::lock_guard<std::mutex> guard(mutex_);
    state_.calls.clear();
    state_.messages.clear();
  }

 private:
  template <class F>
  void change(F&& f) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      f(state_);
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  WindowState state_;
  std::string write_param_;
  int failing_starts_ = 0;
  std::map<int, std::string> typed_;
  std::vector<console::SystemPort> system_ports_;
  std::map<std::string, std::string> remembered_;
};

}  // namespace tavik::test
