// Opening and closing the two board connections.
#include "console/core/console_dlg.h"
#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "facts/defaults.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {
namespace {

constexpr int kPortTimeoutMs = kDefaultTimeoutMs;

}  // namespace

std::string CConsoleDlg::PortToOpen(const PortChoice& choice) {
  return choice.list.port_to_open(window_.GetListSelection(choice.list_id),
                                  window_.GetListText(choice.list_id));
}

void CConsoleDlg::ConnectFailed(Link& link, const std::string& port, const char* failure) {
  const std::string reason = link.LastFailure().text;
  link.monitor.connect_failed(port, reason);
  RefreshLink(link, true);
  window_.ShowMessage(std::string(failure) + "\n\n" + port + ": " + reason);
}

void CConsoleDlg::OnPsbConnect() {
  const std::string port = PortToOpen(psb_port_);
  if (velk_rs232_psb_create(port.c_str(), kPortTimeoutMs) == 0) {
    window_.RememberPort(psb_port_.key, port);
    psb_link_.monitor.connected(port);
    RefreshLink(psb_link_, true);
    m_bPsbConnected = true;
    window_.EnableControl(IDC_PSB_CONNECT, false);
    window_.EnableControl(IDC_PSB_DISCONNECT, true);
    // The device-power worker ended at the last disconnect; it serves the
    // new connection, and whatever was left pending, again.
    StartWorker(m_bPowerCtrlRun, power_ctrl_thread_, &CConsoleDlg::PowerCtrlThread,
                "create fail : PSM Power Data Thread");
    WakePowerCtrl();
  } else {
    ConnectFailed(psb_link_, port, "Power&Sensor Board Connect Fail!!!");
    m_bPsbConnected = false;
  }
}

void CConsoleDlg::OnPsbDisconnect() {
  m_bPsbConnected = false;
  m_bUsonicRun = false;
  m_bPowerDataRun = false;
  m_bPowerCtrlRun = false;
  WakePowerCtrl();
  WakeWorkers();
  window_.EnableControl(IDC_PSB_CONNECT, true);
  window_.EnableControl(IDC_PSB_DISCONNECT, false);
  // Each ends after the exchange it is in, if any.
  JoinPsbWorkers();
  velk_rs232_psb_destroy();
  psb_link_.monitor.disconnected();
  RefreshLink(psb_link_, true);
}

void CConsoleDlg::OnDrvbConnect() {
  const std::string port = PortToOpen(drvb_port_);
  if (zarn_rs232_drvb_create(port.c_str(), kPortTimeoutMs) == 0) {
    window_.RememberPort(drvb_port_.key, port);
    drvb_link_.monitor.connected(port);
    RefreshLink(drvb_link_, true);
    m_bDrvbConnected = true;
    window_.EnableControl(IDC_DRVB_CONNECT, false);
    window_.EnableControl(IDC_DRVB_DISCONNECT, true);
  } else {
    ConnectFailed(drvb_link_, port, "Drive Board RS232 Connect Fail!!!");
    m_bDrvbConnected = false;
  }
}

void CConsoleDlg::OnDrvbDisconnect() {
  m_bDrvbConnected = false;
  m_bEncoderRun = false;
  m_bEmgRun = false;
  WakeWorkers();
  StopDrive();
  window_.EnableControl(IDC_DRVB_CONNECT, true);
  window_.EnableControl(IDC_DRVB_DISCONNECT, false);
  CloseDrvb();
  drvb_link_.monitor.disconnected();
  RefreshLink(drvb_link_, true);
}

}  // namespace tavik::console
