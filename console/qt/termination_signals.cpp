#include "console/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cerrno>

namespace tavik::console {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int signal_pipe[2] = {-1, -1};

void on_termination_signal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!::write(signal_pipe[1], &byte, 1);  // async-signal-safe; a full pipe already has news
  errno = saved;
}

}  // namespace

void catch_termination_signals() {
  if (signal_pipe[0] >= 0 || ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = on_termination_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kSignals) ::sigaction(sig, &action, nullptr);
}

TerminationSignals::TerminationSignals(std::function<void()> on_signal) : on_signal_(std::move(on_signal)) {
  catch_termination_signals();
  if (signal_pipe[0] < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
    on_signal_();
  });
}

TerminationSignals::~TerminationSignals() {
  for (int sig : kSignals) ::signal(sig, SIG_DFL);
  notifier_.reset();
  for (int& fd : signal_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

std::unique_ptr<TerminationSignals> close_on_termination_signals(QDialog& dialog) {
  return std::make_unique<TerminationSignals>([&dialog] {
    while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      if (modal == &dialog) break;
      modal->reject();
    }
    QTimer::singleShot(0, &dialog, &QDialog::reject);
  });
}

}  // namespace tavik::console
