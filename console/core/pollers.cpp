// The Enable and Disable buttons of the five workers that run while the
// operator wants them: ultrasonic ranges, power data, robot control,
// bumpers and emergency stop, encoders. One row each.
#include "console/core/console_dlg.h"
#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {

struct CConsoleDlg::Poller {
  int enable_id;
  int disable_id;
  // The board's connection, which Enable needs.
  std::atomic<bool> CConsoleDlg::*connected;
  std::atomic<bool> CConsoleDlg::*run;
  std::thread CConsoleDlg::*thread;
  Worker worker;
  const char* start_failure;  // shown when no thread could be started
  // What Enable does besides, once the buttons show the worker running and
  // before it starts; what Disable does first.
  void (CConsoleDlg::*enabling)() = nullptr;
  void (CConsoleDlg::*disabling)() = nullptr;
};

const CConsoleDlg::Poller& CConsoleDlg::PollerOf(int button_id) {
  static const Poller kPollers[] = {
      {IDC_USONIC_ENABLE, IDC_USONIC_DISABLE, &CConsoleDlg::m_bPsbConnected, &CConsoleDlg::m_bUsonicRun,
       &CConsoleDlg::usonic_thread_, &CConsoleDlg::UsonicThread, "create fail : PSM Thread"},
      {IDC_POWER_DATA_ENABLE, IDC_POWER_DATA_DISABLE, &CConsoleDlg::m_bPsbConnected,
       &CConsoleDlg::m_bPowerDataRun, &CConsoleDlg::power_data_thread_, &CConsoleDlg::PowerDataThread,
       "create fail : PSM Power Data Thread"},
      {IDC_ROBOT_CTRL_ENABLE, IDC_ROBOT_CTRL_DISABLE, &CConsoleDlg::m_bDrvbConnected,
       &CConsoleDlg::m_bRobotCtrlRun, &CConsoleDlg::robot_ctrl_thread_, &CConsoleDlg::RobotCtrlThread,
       "create fail : DRVM EMG Data Thread", &CConsoleDlg::RobotCtrlEnabling,
       &CConsoleDlg::RobotCtrlDisabling},
      {IDC_EMG_ENABLE, IDC_EMG_DISABLE, &CConsoleDlg::m_bDrvbConnected, &CConsoleDlg::m_bEmgRun,
       &CConsoleDlg::emg_thread_, &CConsoleDlg::EmgThread, "create fail : DRVM EMG Data Thread"},
      {IDC_ENCODER_ENABLE, IDC_ENCODER_DISABLE, &CConsoleDlg::m_bDrvbConnected, &CConsoleDlg::m_bEncoderRun,
       &CConsoleDlg::encoder_thread_, &CConsoleDlg::EncoderThread, "create fail : DRVM EMG Data Thread"},
  };
  for (const Poller& poller : kPollers) {
    if (poller.enable_id == button_id || poller.disable_id == button_id) return poller;
  }
  return kPollers[0];  // not reached: every caller names a row's button
}

void CConsoleDlg::EnablePoller(const Poller& poller) {
  if (!(this->*poller.connected)) {
    window_.ShowMessage(kSerialNotConnected);
    return;
  }
  ShowPollerRunning(poller, true);
  if (poller.enabling) (this->*poller.enabling)();
  StartWorker(this->*poller.run, this->*poller.thread, poller.worker, poller.start_failure);
}

void CConsoleDlg::DisablePoller(const Poller& poller) {
  if (poller.disabling) (this->*poller.disabling)();
  ShowPollerRunning(poller, false);
  this->*poller.run = false;
}

void CConsoleDlg::ShowPollerRunning(const Poller& poller, bool running) {
  // The button that comes on first: the one clicked, which goes off, hands
  // the keyboard focus on to it.
  window_.EnableControl(running ? poller.disable_id : poller.enable_id, true);
  window_.EnableControl(running ? poller.enable_id : poller.disable_id, false);
}

void CConsoleDlg::RobotCtrlEnabling() {
  for (int id : kJogButtons) window_.EnableControl(id, true);
  Measured(drvb_link_, [] { return zarn_rs232_drvb_set_servo(1); });
  ReleaseJog();  // jogging starts from standstill, whatever was held before
}

void CConsoleDlg::RobotCtrlDisabling() {
  // The wheels first, then the servo: a board left with a velocity would
  // drive off at the next servo on.
  StopDrive();
  for (int id : kJogButtons) window_.EnableControl(id, false);
  Measured(drvb_link_, [] { return zarn_rs232_drvb_set_servo(0); });
}

void CConsoleDlg::OnUsonicEnable() { EnablePoller(PollerOf(IDC_USONIC_ENABLE)); }
void CConsoleDlg::OnUsonicDisable() { DisablePoller(PollerOf(IDC_USONIC_DISABLE)); }
void CConsoleDlg::OnPowerDataEnable() { EnablePoller(PollerOf(IDC_POWER_DATA_ENABLE)); }
void CConsoleDlg::OnPowerDataDisable() { DisablePoller(PollerOf(IDC_POWER_DATA_DISABLE)); }
void CConsoleDlg::OnRobotCtrlEnable() { EnablePoller(PollerOf(IDC_ROBOT_CTRL_ENABLE)); }
void CConsoleDlg::OnRobotCtrlDisable() { DisablePoller(PollerOf(IDC_ROBOT_CTRL_DISABLE)); }
void CConsoleDlg::OnEmgEnable() { EnablePoller(PollerOf(IDC_EMG_ENABLE)); }
void CConsoleDlg::OnEmgDisable() { DisablePoller(PollerOf(IDC_EMG_DISABLE)); }
void CConsoleDlg::OnEncoderEnable() { EnablePoller(PollerOf(IDC_ENCODER_ENABLE)); }
void CConsoleDlg::OnEncoderDisable() { DisablePoller(PollerOf(IDC_ENCODER_DISABLE)); }

}  // namespace tavik::console
