// The six worker threads: their loop, their start and their end.
#include "console/core/console_dlg.h"
#include "console/core/control_ids.h"
#include "facts/defaults.h"

namespace tavik::console {
namespace {

// The pollers' period, also the jog's: the velocity goes out again this often.
constexpr std::chrono::milliseconds kPeriod = kVelocityPeriod;
constexpr std::chrono::seconds kPowerIdleBound{1};

void join(std::thread& thread) {
  if (thread.joinable()) thread.join();
}

}  // namespace

void CConsoleDlg::RunWorker(const std::atomic<bool>& run, Worker step, std::span<const int> readouts,
                            bool on_jog) {
  while (run) {
    unsigned jog_seen = 0;
    {
      std::lock_guard lock(pause_mutex_);
      jog_seen = jog_changes_;
    }
    const auto started = std::chrono::steady_clock::now();
    (this->*step)();
    // A jog change during the step ends the pause before it began.
    std::unique_lock lock(pause_mutex_);
    const auto until = (on_jog ? started : std::chrono::steady_clock::now()) + kPeriod;
    pause_.wait_until(lock, until, [&] { return !run || (on_jog && jog_changes_ != jog_seen); });
  }
  // From this thread, so that it follows the last step's values.
  MarkStale(readouts, true);
}

void CConsoleDlg::PowerCtrlThread() {
  while (m_bPowerCtrlRun) {
    PowerCtrlStep();
    // Idle until a click or a connect; the bound only guards against a
    // flag cleared without a wake-up.
    std::unique_lock lock(power_wake_mutex_);
    power_wake_.wait_for(lock, kPowerIdleBound, [this] { return power_wake_pending_; });
    power_wake_pending_ = false;
  }
}
// The three pollers the Trends window plots end their lines as they stop.
void CConsoleDlg::UsonicThread() {
  RunWorker(m_bUsonicRun, &CConsoleDlg::UsonicStep, kUsonicReadouts);
  trends_.end(TrendSource::kRanges, TrendHistory::Clock::now());
}
void CConsoleDlg::PowerDataThread() {
  RunWorker(m_bPowerDataRun, &CConsoleDlg::PowerDataStep, kPowerReadouts);
  trends_.end(TrendSource::kPower, TrendHistory::Clock::now());
}
void CConsoleDlg::RobotCtrlThread() { RunWorker(m_bRobotCtrlRun, &CConsoleDlg::RobotCtrlStep, {}, true); }
void CConsoleDlg::EmgThread() { RunWorker(m_bEmgRun, &CConsoleDlg::EmgStep, kBumperReadouts); }
void CConsoleDlg::EncoderThread() {
  RunWorker(m_bEncoderRun, &CConsoleDlg::EncoderStep, kEncoderReadouts);
  trends_.end(TrendSource::kEncoders, TrendHistory::Clock::now());
}

void CConsoleDlg::StartWorker(std::atomic<bool>& run, std::thread& thread, Worker worker,
                              const char* failure) {
  if (thread.joinable()) {
    // Still running with its flag set: it goes on serving the flag.
    if (run) return;
    // Its flag was cleared: it ends after at most one step and one pause.
    thread.join();
  }
  run = true;
  if (!window_.StartThread(thread, [this, worker] { (this->*worker)(); })) window_.ShowMessage(failure);
}

void CConsoleDlg::WakeWorkers() {
  // Under the lock, so that a worker between its flag test and its wait
  // cannot miss the flag cleared before this.
  { std::lock_guard lock(pause_mutex_); }
  pause_.notify_all();
}

void CConsoleDlg::WakeRobotCtrl() {
  {
    std::lock_guard lock(pause_mutex_);
    ++jog_changes_;
  }
  pause_.notify_all();
}

void CConsoleDlg::JoinPsbWorkers() {
  join(usonic_thread_);
  join(power_data_thread_);
  join(power_ctrl_thread_);
}

void CConsoleDlg::JoinDrvbWorkers() {
  join(robot_ctrl_thread_);
  join(emg_thread_);
  join(encoder_thread_);
}

}  // namespace tavik::console
