// The main window's lifecycle: start-up, the dispatch of clicks and the
// shutdown that stops every worker and closes both connections.
#include "console/core/console_dlg.h"

#include <string_view>

#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "facts/defaults.h"
#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {
namespace {

// The list's entry of a COM name: COM1 is the first.
constexpr int com_entry(std::string_view com) {
  int number = 0;
  for (char c : com.substr(3)) number = number * 10 + (c - '0');
  return number - 1;
}

constexpr int kPsbDefaultPort = com_entry(kDefaultPsbPort);
constexpr int kDrvbDefaultPort = com_entry(kDefaultDrvbPort);

}  // namespace

CConsoleDlg::CConsoleDlg(ConsoleWindow& window)
    : window_(window),
      psb_link_(IDC_LINK_PSB_PORT, {velk_rs232_psb_last_error, velk_rs232_psb_last_refusal,
                                    velk_rs232_psb_error_text, velk_rs232_psb_late_replies}),
      drvb_link_(IDC_LINK_DRVB_PORT, {zarn_rs232_last_error, zarn_rs232_last_refusal, zarn_rs232_error_text,
                                      zarn_rs232_drvb_late_replies}),
      drive_board_([this](const std::function<int()>& call) { return Measured(drvb_link_, call); }),
      drive_keeper_(
          {.check_max_velocity = false, .hold_still = true, .held = true}, [](const drive::Outcome&) {}, {},
          drive::KeeperRunner::Thread::kCaller),
      psb_port_{IDC_PSB_PORT, kPsbDefaultPort, "PsbPort", {}},
      drvb_port_{IDC_DRVB_PORT, kDrvbDefaultPort, "DrvbPort", {}} {
  drive_keeper_.attach(&drive_board_);
}

CConsoleDlg::~CConsoleDlg() {
  // Usually OnDestroy has done all this already; then it costs nothing.
  ClearRunAndRequestFlags();
  JoinPsbWorkers();
  velk_rs232_psb_destroy();
  CloseDrvb();
}

void CConsoleDlg::OnInitDialog() {
  const std::vector<SystemPort> system = window_.SystemPorts();
  for (PortChoice* choice : {&psb_port_, &drvb_port_}) {
    choice->list = PortList(system, window_.RememberedPort(choice->key));
    int i = 0;
    for (const SystemPort& entry : choice->list.entries())
      window_.InsertListItem(choice->list_id, i++, entry.label);
    const int last = choice->list.find(window_.RememberedPort(choice->key));
    window_.SetListSelection(choice->list_id, last >= 0 ? last : choice->default_index);
  }

  window_.EnableControl(IDC_PSB_DISCONNECT, false);
  window_.EnableControl(IDC_DRVB_DISCONNECT, false);
  window_.EnableControl(IDC_USONIC_DISABLE, false);
  window_.EnableControl(IDC_USONIC_ENABLE, true);
  window_.EnableControl(IDC_POWER_DATA_DISABLE, false);
  window_.EnableControl(IDC_POWER_DATA_ENABLE, true);
  window_.EnableControl(IDC_ROBOT_CTRL_ENABLE, true);
  window_.EnableControl(IDC_ROBOT_CTRL_DISABLE, false);
  for (int id : kJogButtons) window_.EnableControl(id, false);
  window_.EnableControl(IDC_EMG_ENABLE, true);
  window_.EnableControl(IDC_EMG_DISABLE, false);
  window_.EnableControl(IDC_ENCODER_ENABLE, true);
  window_.EnableControl(IDC_ENCODER_DISABLE, false);

  m_bPsbConnected = false;
  m_bUsonicRun = false;
  m_bPowerDataRun = false;
  m_bPowerCtrlRun = true;
  m_bDrvbConnected = false;
  m_bEmgRun = false;

  // Item k is the libraries' argument k, the code k + 1: 150 cm to 550 cm.
  for (int k = 0; k <= psb::kMostMaxDist; ++k) {
    window_.InsertListItem(IDC_USONIC_MAX_DIST, k, format_text("%d cm", psb::max_dist_cm(k + 1)));
  }
  window_.SetListSelection(IDC_USONIC_MAX_DIST, 0);

  for (std::size_t k = 0; k < drvb::kParameters.size(); ++k) {
    window_.InsertListItem(IDC_PARAM_SELECT, static_cast<int>(k), drvb::kParameters[k].label);
  }
  window_.SetListSelection(IDC_PARAM_SELECT, 0);

  InitUsonicBars();
  for (int id = IDC_USONIC_RANGE1; id <= IDC_USONIC_RANGE7; ++id) window_.SetControlText(id, "0");

  ClearRequestFlags();
  m_bRobotCtrlRun = false;
  m_bEncoderRun = false;
  ReleaseJog();

  // No poller runs yet: every read-out is stale until its first good read.
  for (std::span<const int> readouts :
       {std::span<const int>(kUsonicReadouts), std::span<const int>(kPowerReadouts),
        std::span<const int>(kBumperReadouts), std::span<const int>(kEncoderReadouts)}) {
    MarkStale(readouts, true);
  }
  RefreshLink(psb_link_, true);
  RefreshLink(drvb_link_, true);

  StartWorker(m_bPowerCtrlRun, power_ctrl_thread_, &CConsoleDlg::PowerCtrlThread,
              "create fail : PSM Power Data Thread");
}

void CConsoleDlg::OnEnterKey(int focus_id) {
  if (focus_id == IDC_WRITE_PARAM_VALUE) OnParamWrite();
}

void CConsoleDlg::OnDestroy() {
  if (destroyed_) return;
  // No worker starts another exchange; the wheels stop before anything waits.
  ClearRunAndRequestFlags();
  StopDrive();
  // Joining waits for the exchanges in progress, so that no worker is left
  // before its connection and this object go away.
  JoinPsbWorkers();
  velk_rs232_psb_destroy();
  CloseDrvb();
  destroyed_ = true;
}

void CConsoleDlg::CloseDrvb() {
  StopDrive();
  JoinDrvbWorkers();
  zarn_rs232_drvb_destroy();
}

void CConsoleDlg::ClearRequestFlags() {
  for (const PowerButton& button : kPowerButtons) PowerRequest(button) = false;
}

void CConsoleDlg::ClearRunAndRequestFlags() {
  ClearRequestFlags();
  for (std::atomic<bool>* flag : {&m_bPsbConnected, &m_bPowerCtrlRun, &m_bUsonicRun, &m_bPowerDataRun,
                                  &m_bDrvbConnected, &m_bEmgRun, &m_bRobotCtrlRun, &m_bEncoderRun}) {
    *flag = false;
  }
  WakePowerCtrl();
  WakeWorkers();
}

bool CConsoleDlg::OnCommand(int id) {
  for (const PowerButton& button : kPowerButtons) {
    if (button.id == id) {
      OnPowerButton(button);
      return true;
    }
  }
  switch (id) {
    case IDC_PSB_CONNECT:
      OnPsbConnect();
      break;
    case IDC_PSB_DISCONNECT:
      OnPsbDisconnect();
      break;
    case IDC_DRVB_CONNECT:
      OnDrvbConnect();
      break;
    case IDC_DRVB_DISCONNECT:
      OnDrvbDisconnect();
      break;
    case IDC_USONIC_ENABLE:
      OnUsonicEnable();
      break;
    case IDC_USONIC_DISABLE:
      OnUsonicDisable();
      break;
    case IDC_USONIC_SET:
      OnUsonicSet();
      break;
    case IDC_POWER_DATA_ENABLE:
      OnPowerDataEnable();
      break;
    case IDC_POWER_DATA_DISABLE:
      OnPowerDataDisable();
      break;
    case IDC_ROBOT_CTRL_ENABLE:
      OnRobotCtrlEnable();
      break;
    case IDC_ROBOT_CTRL_DISABLE:
      OnRobotCtrlDisable();
      break;
    case IDC_EMG_ENABLE:
      OnEmgEnable();
      break;
    case IDC_EMG_DISABLE:
      OnEmgDisable();
      break;
    case IDC_FRONT:
    case IDC_REAR:
    case IDC_RIGHT:
    case IDC_LEFT:
      OnDirectionClicked();
      break;
    case IDC_ENCODER_ENABLE:
      OnEncoderEnable();
      break;
    case IDC_ENCODER_DISABLE:
      OnEncoderDisable();
      break;
    case IDC_PARAM_READ:
      OnParamRead();
      break;
    case IDC_PARAM_WRITE:
      OnParamWrite();
      break;
    case IDC_WHEEL_ERR_READ:
      OnWheelErrRead();
      break;
    case IDC_WHEEL_ERR_RESET:
      OnWheelErrReset();
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace tavik::console
