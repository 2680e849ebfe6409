// The link panel and the stale drawing of read-outs: what the operator sees
// of the lines themselves, beside what the boards report.
#include "console/core/console_dlg.h"
#include "console/core/console_text.h"

namespace tavik::console {
namespace {

// Once a second: as often as a person reads it, and the step of the
// "no reply for N s" count.
constexpr auto kLinkRefresh = std::chrono::seconds(1);

}  // namespace

CConsoleDlg::Link::Failure CConsoleDlg::Link::LastFailure() const {
  const int error = reasons.last_error();
  return {error, reason_text(error, reasons.text(error), reasons.last_refusal())};
}

void CConsoleDlg::RefreshLink(Link& link, bool now) {
  std::lock_guard<std::mutex> lock(link.refresh_mutex);
  const auto time = LinkMonitor::Clock::now();
  if (!now && time < link.next_refresh) return;
  link.next_refresh = time + kLinkRefresh;
  const LinkMonitor::Snapshot s = link.monitor.snapshot(time);
  // Under the lock, so that two threads' refreshes reach the window in order.
  window_.SetControlText(link.first_id, s.port.empty() ? kNoPort : s.port);
  window_.SetControlText(link.first_id + 1, state_text(s));
  window_.SetControlText(link.first_id + 2, round_trip_text(s));
  window_.SetControlText(link.first_id + 3, counts_text(s));
  window_.SetControlText(link.first_id + 4, failure_text(s));
  window_.SetControlText(link.first_id + 5, reopened_text(s));
  window_.SetControlText(link.first_id + 6, late_text(s, link.reasons.late_replies()));
}

void CConsoleDlg::MarkStale(std::span<const int> ids, bool stale) {
  for (int id : ids) window_.SetControlStale(id, stale);
}

}  // namespace tavik::console
