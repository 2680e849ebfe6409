// The drive panel: robot control with the four jog buttons, bumpers and
// emergency stop, encoders, drive parameters and wheel errors.
#include "console/core/console_dlg.h"
#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "console/core/param_text.h"
#include "facts/drvb_facts.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {
namespace {

constexpr int kJogVelocity = 200;
// A jog's command lasts this long unless the velocity worker gives it again
// (each step does): the keeper stops a jog whose worker stalls.
constexpr auto kJogDeadMan = std::chrono::seconds(1);

}  // namespace

void CConsoleDlg::OnJogPressed(int id) {
  // Only while jogging is on: a press that lands on a disabled button must
  // not be waiting to drive the robot at the next Enable.
  if (!m_bRobotCtrlRun) return;
  switch (id) {
    case IDC_FRONT:
      m_bFrontHeld = true;
      break;
    case IDC_REAR:
      m_bRearHeld = true;
      break;
    case IDC_LEFT:
      m_bLeftHeld = true;
      break;
    case IDC_RIGHT:
      m_bRightHeld = true;
      break;
    default:
      return;
  }
  WakeRobotCtrl();
}

KeyAction CConsoleDlg::OnKey(const KeyEvent& event) {
  const KeyAction action = key_action(event, m_bRobotCtrlRun);
  switch (action.kind) {
    case KeyAction::Kind::kJogPress:
      OnJogPressed(action.jog_id);
      break;
    case KeyAction::Kind::kJogRelease:
    case KeyAction::Kind::kClose:
      ReleaseJog();
      break;
    case KeyAction::Kind::kEnter:
      OnEnterKey(event.focus_id);
      break;
    default:
      break;
  }
  return action;
}

void CConsoleDlg::OnJogReleased() { ReleaseJog(); }
void CConsoleDlg::OnDirectionClicked() { ReleaseJog(); }
void CConsoleDlg::OnLButtonUp() { ReleaseJog(); }

void CConsoleDlg::ClearJog() {
  m_bFrontHeld = false;
  m_bRearHeld = false;
  m_bLeftHeld = false;
  m_bRightHeld = false;
  WakeRobotCtrl();
}

void CConsoleDlg::ReleaseJog() {
  ClearJog();
  if (m_bDrvbConnected) drive_keeper_.release();
}

void CConsoleDlg::StopDrive() {
  m_bRobotCtrlRun = false;
  ClearJog();
  drive_keeper_.stop_here();
}

void CConsoleDlg::OnParamRead() {
  const int id = window_.GetListSelection(IDC_PARAM_SELECT);
  int value = 0;
  // An id the library does not know is refused at once.
  const int ret = Measured(drvb_link_, [&] { return zarn_rs232_drvb_read_parameter(id, &value); });
  window_.SetControlStale(IDC_READ_PARAM_VALUE, ret != 0);
  if (ret != 0) {
    window_.SetControlText(IDC_READ_PARAM_VALUE, kNoValue);
    return;
  }
  const drvb::ParameterInfo* parameter = drvb::find_parameter(id);
  std::string text = format_text("%d", value);
  if (parameter != nullptr) text = text + " " + parameter->unit;
  window_.SetControlText(IDC_READ_PARAM_VALUE, text);
}

void CConsoleDlg::OnParamWrite() {
  const int id = window_.GetListSelection(IDC_PARAM_SELECT);
  m_strWriteParam = window_.GetWriteParamText();
  const std::optional<int> value = parse_param_value(m_strWriteParam);
  if (!value || *value == 0) {
    window_.ShowMessage("입력 값이 틀렸습니다!");
    return;
  }
  // Values out of a parameter's range are refused at once.
  diagnostics_.print("ret: %d \n",
                     Measured(drvb_link_, [&] { return zarn_rs232_drvb_set_parameter(id, *value); }));
}

void CConsoleDlg::OnWheelErrRead() {
  char left = 0;
  char right = 0;
  const int ret = Measured(drvb_link_, [&] { return zarn_rs232_drvb_read_drive_err(&left, &right); });
  MarkStale(kWheelErrReadouts, ret != 0);
  if (ret != 0) {
    window_.SetControlText(IDC_WHEEL_ERR_LEFT, kNoValue);
    window_.SetControlText(IDC_WHEEL_ERR_RIGHT, kNoValue);
    return;
  }
  window_.SetControlText(IDC_WHEEL_ERR_LEFT, format_text("0x%x", static_cast<unsigned char>(left)));
  window_.SetControlText(IDC_WHEEL_ERR_RIGHT, format_text("0x%x", static_cast<unsigned char>(right)));
}

void CConsoleDlg::OnWheelErrReset() {
  Measured(drvb_link_, [] { return zarn_rs232_drvb_set_drive_err_reset(); });
}

void CConsoleDlg::RobotCtrlStep() {
  if (!m_bRobotCtrlRun || !m_bDrvbConnected) return;
  // Read before the buttons: a release meanwhile has stopped the wheels, and
  // what was held before it is not sent after its stop.
  const unsigned releases = drive_keeper_.releases();
  struct Jog {
    const std::atomic<bool>& held;
    int left;
    int right;
  };
  // The first held button wins; none held stops the wheels.
  const Jog jogs[] = {
      {m_bFrontHeld, kJogVelocity, kJogVelocity},
      {m_bRearHeld, -kJogVelocity, -kJogVelocity},
      {m_bLeftHeld, -kJogVelocity, kJogVelocity},
      {m_bRightHeld, kJogVelocity, -kJogVelocity},
  };
  int left = 0;
  int right = 0;
  for (const Jog& jog : jogs) {
    if (jog.held) {
      left = jog.left;
      right = jog.right;
      break;
    }
  }
  // The keeper sends it now, after a stop it owes; a stop begun meanwhile
  // that may have gone out before this velocity goes once more, last.
  drive_keeper_.drive_since(releases, left, right, drive::Clock::now() + kJogDeadMan);
  drive_keeper_.serve();
}

void CConsoleDlg::EmgStep() {
  int bumper_left = 0;
  int bumper_right = 0;
  int emergency = 0;
  const int ret = Measured(
      drvb_link_, [&] { return zarn_rs232_drvb_read_bumper_emg(&bumper_left, &bumper_right, &emergency); });
  MarkStale(kBumperReadouts, ret != 0);
  if (ret != 0) {
    window_.SetControlText(IDC_BUMPER_LEFT, kNoValue);
    window_.SetControlText(IDC_BUMPER_RIGHT, kNoValue);
    window_.SetControlText(IDC_EMG, kNoValue);
    return;
  }
  window_.SetControlText(IDC_BUMPER_LEFT, bumper_left != 0 ? "Bump" : "Off");
  window_.SetControlText(IDC_BUMPER_RIGHT, bumper_right != 0 ? "Bump" : "Off");
  window_.SetControlText(IDC_EMG, emergency != 0 ? "On" : "Off");
}

void CConsoleDlg::EncoderStep() {
  int left = 0;
  int right = 0;
  std::string why;
  const int ret = Measured(
      drvb_link_, [&] { return zarn_rs232_drvb_read_encoder(&left, &right); }, &why);
  diagnostics_.print("drv ret: %d \n", ret);
  if (ret == 0)
    trends_.add_encoders(TrendHistory::Clock::now(), left, right);
  else
    trends_.add_failure(TrendSource::kEncoders, TrendHistory::Clock::now(), why);
  MarkStale(kEncoderReadouts, ret != 0);
  if (ret != 0) {
    window_.SetControlText(IDC_ENCODER_LEFT, kNoValue);
    window_.SetControlText(IDC_ENCODER_RIGHT, kNoValue);
    return;
  }
  window_.SetControlText(IDC_ENCODER_LEFT, format_text("%d", left));
  window_.SetControlText(IDC_ENCODER_RIGHT, format_text("%d", right));
}

}  // namespace tavik::console
