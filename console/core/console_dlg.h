// The console's logic: the state record shared with the workers, the
// handlers of every control and the six workers. It reaches its window only
// through ConsoleWindow and the boards only through the two libraries'
// public C functions (PSB through lib_velk_rs232_psb, DRVB through
// lib_zarn_rs232).
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "console/core/console_window.h"
#include "console/core/control_ids.h"
#include "console/core/diagnostic_output.h"
#include "console/core/key_policy.h"
#include "console/core/link_monitor.h"
#include "console/core/port_list.h"
#include "console/core/trend_history.h"
#include "console/core/zarn_drive_board.h"
#include "drive/keeper_runner.h"
#include "tavik/psb_types.h"

namespace tavik::console {

inline constexpr unsigned kPsbDeviceCount = PSB_DEVICE_SERVO + 1;

// A device power button: its control, the device it switches (enum
// psb_device) and the switch (1 on, 0 off).
struct PowerButton {
  int id;
  unsigned device;
  int on;
};
// Every device power button, in the order PowerCtrlThread serves their
// requests: each device's on before its off, the devices in the board's
// order.
inline constexpr PowerButton kPowerButtons[] = {
    {IDC_DRIVE_ON, PSB_DEVICE_DRIVE, 1},     {IDC_DRIVE_OFF, PSB_DEVICE_DRIVE, 0},
    {IDC_SENSORS_ON, PSB_DEVICE_SENSORS, 1}, {IDC_SENSORS_OFF, PSB_DEVICE_SENSORS, 0},
    {IDC_LRF_ON, PSB_DEVICE_LRF, 1},         {IDC_LRF_OFF, PSB_DEVICE_LRF, 0},
    {IDC_SBC_ON, PSB_DEVICE_SBC, 1},         {IDC_SBC_OFF, PSB_DEVICE_SBC, 0},
    {IDC_SG_ON, PSB_DEVICE_SG, 1},           {IDC_SG_OFF, PSB_DEVICE_SG, 0},
    {IDC_LCD_ON, PSB_DEVICE_LCD, 1},         {IDC_LCD_OFF, PSB_DEVICE_LCD, 0},
    {IDC_SERVO_ON, PSB_DEVICE_SERVO, 1},     {IDC_SERVO_OFF, PSB_DEVICE_SERVO, 0},
};

class CConsoleDlg {
 public:
  explicit CConsoleDlg(ConsoleWindow& window);
  // Stops and joins every worker and closes both connections.
  ~CConsoleDlg();
  CConsoleDlg(const CConsoleDlg&) = delete;
  CConsoleDlg& operator=(const CConsoleDlg&) = delete;

  // Window lifecycle.
  void OnInitDialog();
  // Enter while the focus is on control `focus_id`, not a button (a focused
  // button takes Enter as a click): in the "Write Param Value" field it
  // writes the value as the Write button does; anywhere else it does nothing.
  // The window has no default button, and Enter never closes it.
  void OnEnterKey(int focus_id);
  void OnDestroy();

  // Dispatches a click on control `id` to its handler; false for an ID that
  // has no click handler.
  bool OnCommand(int id);

  // Connections and the two PSB pollers.
  void OnPsbConnect();
  void OnPsbDisconnect();
  void OnDrvbConnect();
  void OnDrvbDisconnect();
  void OnUsonicEnable();
  void OnUsonicDisable();
  void OnPowerDataEnable();
  void OnPowerDataDisable();

  // Power and sensor panel.
  void OnUsonicSet();
  // The fourteen device power buttons (OnDriveOn, OnDriveOff, ...
  // OnServoOff): leave the request of kPowerButtons' row pending for
  // PowerCtrlThread.
  void OnPowerButton(const PowerButton& button);
  void InitUsonicBars();

  // Drive panel.
  void OnRobotCtrlEnable();
  void OnRobotCtrlDisable();
  void OnEmgEnable();
  void OnEmgDisable();
  void OnEncoderEnable();
  void OnEncoderDisable();
  void OnDirectionClicked();
  void OnLButtonUp();
  void OnParamRead();
  void OnParamWrite();
  void OnWheelErrRead();
  void OnWheelErrReset();

  // Jog buttons as dead-man switches: a press on Front, Rear, Left or Right
  // (the mouse button, or Space or Enter while the button has the focus)
  // holds that direction; releasing it anywhere, or the window losing
  // focus, releases all four. The velocity worker sends the change at once.
  void OnJogPressed(int id);
  void OnJogReleased();
  // A key in the window (key_policy.h): does the logic's part of its action
  // (a jog press or release, Enter's write; Esc releases the jog at once,
  // before the window closes) and returns the action for the view's part.
  KeyAction OnKey(const KeyEvent& event);

  // One period of each worker.
  void UsonicStep();
  void PowerDataStep();
  void PowerCtrlStep();
  void RobotCtrlStep();
  void EmgStep();
  void EncoderStep();

  // The state record. The fourteen pending device-power requests
  // (m_bReqDriveOn, m_bReqDriveOff, ... m_bReqServoOff), by device and
  // switch: m_bReqPower[PSB_DEVICE_LCD][1] is LCD on.
  std::atomic<bool> m_bReqPower[kPsbDeviceCount][2]{};
  std::atomic<bool>& PowerRequest(const PowerButton& button) { return m_bReqPower[button.device][button.on]; }
  std::atomic<bool> m_bPowerCtrlRun{false};
  std::atomic<bool> m_bUsonicRun{false};
  std::atomic<bool> m_bPowerDataRun{false};
  std::atomic<bool> m_bPsbConnected{false};
  std::atomic<bool> m_bDrvbConnected{false};
  std::atomic<bool> m_bEmgRun{false};
  std::atomic<bool> m_bRobotCtrlRun{false};
  std::atomic<bool> m_bEncoderRun{false};
  std::atomic<bool> m_bFrontHeld{false}, m_bRearHeld{false}, m_bLeftHeld{false}, m_bRightHeld{false};

  std::string m_strWriteParam;  // window's thread only

  // Where the workers' "ret: %d" lines go.
  DiagnosticOutput& diagnostics() { return diagnostics_; }
  // What the console has seen of each board's line.
  const LinkMonitor& psb_link() const { return psb_link_.monitor; }
  const LinkMonitor& drvb_link() const { return drvb_link_.monitor; }
  // What the power-data, ultrasonic and encoder pollers have read, for the
  // Trends window.
  const TrendHistory& trends() const { return trends_; }

 private:
  using Worker = void (CConsoleDlg::*)();

  // The five workers behind an Enable and a Disable button (pollers.cpp):
  // the row of either button; Enable shows the worker running and starts
  // it once its board is connected, Disable shows it stopped and ends it.
  struct Poller;
  static const Poller& PollerOf(int button_id);
  void EnablePoller(const Poller& poller);
  void DisablePoller(const Poller& poller);
  void ShowPollerRunning(const Poller& poller, bool running);
  // Robot control's servo and jog buttons.
  void RobotCtrlEnabling();
  void RobotCtrlDisabling();

  // One board's link: its monitor and the panel block that shows it, written
  // at most every kLinkRefresh (and at once on Connect and Disconnect).
  struct Link {
    // The library's failure reason calls for this board.
    struct Reasons {
      int (*last_error)();
      int (*last_refusal)();
      const char* (*text)(int);
      unsigned (*late_replies)();
    };
    Link(int first, Reasons library) : first_id(first), reasons(library) {}
    struct Failure {
      int error;         // a tavik_rs232_error
      std::string text;  // for a person: "no reply", "refused (1)", ...
    };
    // Why the calling thread's last call on this board failed.
    Failure LastFailure() const;
    // port, state, round trip, counts, last failure, reopened, late replies
    // follow in order
    const int first_id;
    const Reasons reasons;
    LinkMonitor monitor;
    std::mutex refresh_mutex;
    LinkMonitor::Clock::time_point next_refresh{};
  };
  // Calls the library through `call` and records its result and duration;
  // on failure `why`, when given, receives the reason's text.
  template <class Call>
  int Measured(Link& link, Call&& call, std::string* why = nullptr) {
    const auto start = LinkMonitor::Clock::now();
    const int result = call();
    const auto now = LinkMonitor::Clock::now();
    if (result == 0) {
      link.monitor.record(result, now - start, 0, {}, now);
    } else {
      const Link::Failure failure = link.LastFailure();
      link.monitor.record(result, now - start, failure.error, failure.text, now);
      if (why) *why = failure.text;
    }
    RefreshLink(link, false);
    return result;
  }
  void RefreshLink(Link& link, bool now);

  // A board's port list and where its last port is remembered.
  struct PortChoice {
    int list_id;
    int default_index;  // selected at start when no port is remembered
    const char* key;
    PortList list;
  };
  // The port the list shows; when it opens, RememberPort keeps it, else
  // the board's message `failure` says which port and why.
  std::string PortToOpen(const PortChoice& choice);
  void ConnectFailed(Link& link, const std::string& port, const char* failure);
  // Read-outs drawn as stale or current.
  void MarkStale(std::span<const int> ids, bool stale);

  // The device-power worker sends the pending requests whenever one is
  // made or the board connects, and waits otherwise; the four pollers each
  // repeat their step and a 100 ms pause, which a cleared flag ends at once.
  // The velocity worker sends every 100 ms from the start of its last step,
  // at once when a step took longer or the jog changed. Each runs while its
  // flag is set.
  void PowerCtrlThread();
  void UsonicThread();
  void PowerDataThread();
  void RobotCtrlThread();
  void EmgThread();
  void EncoderThread();
  // Runs step every period while `run` holds; its read-outs go stale when it
  // ends. With `on_jog` the period is counted from each step's start and a
  // jog change ends the pause too.
  void RunWorker(const std::atomic<bool>& run, Worker step, std::span<const int> readouts = {},
                 bool on_jog = false);
  // Ends the workers' pauses, so that each looks at its run flag at once.
  void WakeWorkers();

  // Sets `run` and starts `worker` on `thread`, first joining a worker of
  // the same flag that is still finishing its last period. A worker that
  // still runs with its flag set is kept. Shows `failure` when no thread
  // could be started; the flag stays set.
  void StartWorker(std::atomic<bool>& run, std::thread& thread, Worker worker, const char* failure);
  // Joins the workers of each board; their run flags must be clear.
  void JoinPsbWorkers();
  void JoinDrvbWorkers();
  // Clears the four held jog flags and has the velocity worker send the
  // stop; while the worker's velocity is on its way to the board, the stop
  // goes from the calling thread at once.
  void ReleaseJog();
  // Clears the four held jog flags and wakes the velocity worker.
  void ClearJog();
  // Has the velocity worker send the jog buttons' velocity now.
  void WakeRobotCtrl();
  // Ends robot control and jogging and, when the board may still hold a
  // velocity other than 0,0, sends 0,0 from the calling thread at once
  // (the drive keeper's stop_here): whatever ends the jogging (Disable,
  // Disconnect, the window's end) stops the wheels first, before it waits
  // for anything else. It does not wait for a velocity step in progress: a
  // velocity still waiting for the line gives way to the stop, and a step
  // that got its velocity out after the stop sends the stop again.
  void StopDrive();
  void ClearRequestFlags();
  void ClearRunAndRequestFlags();
  // Makes the device-power worker look at its flags.
  void WakePowerCtrl();

  // Stops the wheels (StopDrive), joins the drive board's workers and
  // closes the connection.
  void CloseDrvb();

  ConsoleWindow& window_;
  DiagnosticOutput diagnostics_;
  std::mutex power_wake_mutex_;
  std::condition_variable power_wake_;
  bool power_wake_pending_ = false;
  // The pollers' pauses.
  std::mutex pause_mutex_;
  std::condition_variable pause_;
  unsigned jog_changes_ = 0;  // guarded by pause_mutex_
  Link psb_link_;
  Link drvb_link_;
  // The jog's rules (drive/keeper.h): the velocity worker serves the keeper
  // (each step gives the held jog as a command, 0,0 when none is held), a
  // failed jog velocity is ridden through, and the stops that end the
  // jogging go from the calling thread.
  ZarnDriveBoard drive_board_;
  drive::KeeperRunner drive_keeper_;
  PortChoice psb_port_;
  PortChoice drvb_port_;
  TrendHistory trends_;
  std::thread power_ctrl_thread_, usonic_thread_, power_data_thread_;
  std::thread robot_ctrl_thread_, emg_thread_, encoder_thread_;
  bool destroyed_ = false;  // OnDestroy has run; window's thread only
};

}  // namespace tavik::console
