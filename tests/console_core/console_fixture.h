// The console's logic on a recording window, with its boards published as
// COM<n> links in a directory of its own (TAVIK_COM_DIR).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/core/console_dlg.h"
#include "console/core/control_ids.h"
#include "recording_window.h"
#include "sim/models/frame_builder.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik::test {

using namespace console;  // the control IDs
using std::chrono::milliseconds;

// Polls `pred` every few milliseconds until it holds; false after `timeout`.
inline bool eventually(const std::function<bool()>& pred, milliseconds timeout = std::chrono::seconds(3)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    out.push_back(text.substr(start, end - start));
  }
  return out;
}

// The command of a request frame: the bytes between STX and ETX.
inline std::string command_of(const sim::Bytes& request) {
  return request.size() < 3 ? std::string() : std::string(request.begin() + 1, request.end() - 2);
}

inline std::vector<std::string> commands(const test::ScriptedPeer& peer) {
  std::vector<std::string> out;
  for (const auto& request : peer.requests()) out.push_back(command_of(request));
  return out;
}

// Commands of `peer` that start with `prefix`.
inline std::vector<std::string> commands(const test::ScriptedPeer& peer, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& command : commands(peer)) {
    if (command.rfind(prefix, 0) == 0) out.push_back(command);
  }
  return out;
}

// A power & sensor board that answers everything at once.
inline test::ScriptedReply psb_reply(const sim::Bytes& request) {
  const std::string command = command_of(request);
  if (command == "PDR") return {sim::frame("12;0;0;5;0;0;9;2;4"), {}};
  if (command == "Sar") {
    sim::Bytes data(40, 0);
    data[1] = 200;  // sensor 1: 200
    data[2] = 1;    // sensor 2: 256 + 44
    data[3] = 44;
    data[13] = 150;  // sensor 7: 150
    return {sim::counted_frame(data), {}};
  }
  if (command.rfind("SDU", 0) == 0) return {sim::frame("OK"), {}};
  if (command.rfind("P", 0) == 0) return {sim::frame("0"), {}};
  return {};
}

// The fixed 12-byte AA reply: error bytes at positions 3 and 5, bumper bits
// at 7, emergency bit at 8.
inline sim::Bytes aa_reply(std::uint8_t left_err, std::uint8_t right_err, char bumpers, char emergency) {
  return sim::frame(sim::Bytes{'0', '0', left_err, '0', right_err, '0', static_cast<std::uint8_t>(bumpers),
                               static_cast<std::uint8_t>(emergency), '0'});
}

// A drive board that accepts everything at once: encoders 1234 and -56,
// right bumper and emergency stop, error bytes 0x00 and 0x81, every
// parameter 120.
inline test::ScriptedReply drvb_reply(const sim::Bytes& request) {
  const std::string command = command_of(request);
  if (command == "AA") return {aa_reply(0x00, 0x81, '2', '1'), {}};
  if (command == "AC0") return {sim::frame("00000001234-000000056"), {}};
  if (command.rfind("XL", 0) == 0) return {sim::frame("0120"), {}};
  return {sim::frame("0"), {}};
}

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    char pattern[] = "/tmp/tavik-console-XXXXXX";
    link_dir_ = ::mkdtemp(pattern);
    ::setenv("TAVIK_COM_DIR", link_dir_.c_str(), 1);
    dlg_ = std::make_unique<CConsoleDlg>(window_);
  }
  ~ConsoleTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(link_dir_, ignored);
  }
  // The logic goes before the boards and the window it uses.
  void TearDown() override { dlg_.reset(); }

  CConsoleDlg& dlg() { return *dlg_; }
  WindowState state() const { return window_.snapshot(); }
  // The calls the handlers made on this (the window's) thread, the workers' aside.
  std::vector<WindowCall> handler_calls() const {
    std::vector<WindowCall> calls;
    for (const WindowCall& call : state().calls) {
      if (call.thread == std::this_thread::get_id()) calls.push_back(call);
    }
    return calls;
  }
  void click(int id) { ASSERT_TRUE(dlg_->OnCommand(id)) << id; }
  // The diagnostic lines printed since testing::internal::CaptureStdout().
  std::vector<std::string> captured_lines() {
    dlg_->diagnostics().flush(std::chrono::seconds(2));
    return split_lines(testing::internal::GetCapturedStdout());
  }

  // Scripted boards published as `name` (COM7 and COM8 are the lists'
  // defaults); they stay until the logic is gone.
  test::ScriptedPeer& psb_board(test::ScriptedPeer::Responder responder = psb_reply,
                                const std::string& name = "COM7") {
    return publish(psb_, std::move(responder), name);
  }
  test::ScriptedPeer& drvb_board(test::ScriptedPeer::Responder responder = drvb_reply,
                                 const std::string& name = "COM8") {
    return publish(drvb_, std::move(responder), name);
  }

  // Waits until the console's workers have all ended, or up to 3 s.
  bool workers_end() const {
    return window_.wait_for([](const WindowState& s) { return s.workers_alive == 0; });
  }
  bool workers_alive(int n) const {
    return window_.wait_for([n](const WindowState& s) { return s.workers_alive == n; });
  }
  // Opens the window, connects both boards and turns every poller on: six
  // workers run afterwards.
  void start_everything() {
    dlg_->OnInitDialog();
    for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE,
                   IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
      click(id);
    }
    ASSERT_TRUE(workers_alive(6));
  }
  // Waits until control `id` has been written `n` more times than `before`.
  bool refreshed(int id, int n, int before) const {
    return window_.wait_for([&](const WindowState& s) { return s.writes(id) >= before + n; });
  }

  std::string link_dir_;
  RecordingWindow window_;
  std::unique_ptr<test::ScriptedPeer> psb_, drvb_;
  std::unique_ptr<CConsoleDlg> dlg_;

 private:
  test::ScriptedPeer& publish(std::unique_ptr<test::ScriptedPeer>& peer,
                              test::ScriptedPeer::Responder responder, const std::string& name) {
    peer = std::make_unique<test::ScriptedPeer>();
    peer->respond(std::move(responder));
    peer->publish(link_dir_, name);
    return *peer;
  }
};

}  // namespace tavik::test
