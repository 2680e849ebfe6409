// Opening and closing the two board connections, and the two PSB pollers'
// Enable and Disable buttons.
#include <cstdio>

#include "console/core/console_dlg.h"
#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::console {
namespace {

constexpr int kPortTimeoutMs = 200;

// "COM<n>" for the selected index of a port list (COM0 when none is selected).
struct PortName {
  explicit PortName(int index) { std::snprintf(text, sizeof text, "COM%d", index + 1); }
  char text[16] = {};
};

}  // namespace

void CConsoleDlg::OnPsbConnect() {
  const PortName port(window_.GetListSelection(IDC_PSB_PORT));
  if (velk_rs232_psb_create(port.text, kPortTimeoutMs) == 0) {
    psb_link_.monitor.connected(port.text);
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
    psb_link_.monitor.connect_failed(port.text, psb_link_.LastFailure().text);
    RefreshLink(psb_link_, true);
    window_.ShowMessage("Power&Sensor Board Connect Fail!!!");
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
  const PortName port(window_.GetListSelection(IDC_DRVB_PORT));
  if (zarn_rs232_drvb_create(port.text, kPortTimeoutMs) == 0) {
    drvb_link_.monitor.connected(port.text);
    RefreshLink(drvb_link_, true);
    m_bDrvbConnected = true;
    window_.EnableControl(IDC_DRVB_CONNECT, false);
    window_.EnableControl(IDC_DRVB_DISCONNECT, true);
  } else {
    drvb_link_.monitor.connect_failed(port.text, drvb_link_.LastFailure().text);
    RefreshLink(drvb_link_, true);
    window_.ShowMessage("Drive Board RS232 Connect Fail!!!");
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

void CConsoleDlg::OnUsonicEnable() {
  if (!m_bPsbConnected) {
    window_.ShowMessage(kSerialNotConnected);
    return;
  }
  window_.EnableControl(IDC_USONIC_ENABLE, false);
  window_.EnableControl(IDC_USONIC_DISABLE, true);
  StartWorker(m_bUsonicRun, usonic_thread_, &CConsoleDlg::UsonicThread, "create fail : PSM Thread");
}

void CConsoleDlg::OnUsonicDisable() {
  window_.EnableControl(IDC_USONIC_DISABLE, false);
  window_.EnableControl(IDC_USONIC_ENABLE, true);
  m_bUsonicRun = false;
}

void CConsoleDlg::OnPowerDataEnable() {
  if (!m_bPsbConnected) {
    window_.ShowMessage(kSerialNotConnected);
    return;
  }
  window_.EnableControl(IDC_POWER_DATA_DISABLE, true);
  window_.EnableControl(IDC_POWER_DATA_ENABLE, false);
  StartWorker(m_bPowerDataRun, power_data_thread_, &CConsoleDlg::PowerDataThread,
              "create fail : PSM Power Data Thread");
}

void CConsoleDlg::OnPowerDataDisable() {
  window_.EnableControl(IDC_POWER_DATA_DISABLE, false);
  window_.EnableControl(IDC_POWER_DATA_ENABLE, true);
  m_bPowerDataRun = false;
}

}  // namespace tavik::console
