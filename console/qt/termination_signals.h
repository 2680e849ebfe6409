// Ends the console cleanly on SIGINT, SIGTERM and SIGHUP (Ctrl-C in the
// terminal, a session logout, `kill`): the signal is carried to the GUI
// thread through a pipe, and the console closes as through its close box, so
// the workers stop, the ports are released and simulated boards remove their
// links.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class QDialog;

namespace tavik::console {

// Catches the three signals from now on and holds them until a
// TerminationSignals object takes them; call it first thing in main().
void catch_termination_signals();

class TerminationSignals : public QObject {
 public:
  // on_signal runs on the GUI thread for the signals received, also those
  // caught before the object was made.
  explicit TerminationSignals(std::function<void()> on_signal);
  // Puts the default handlers back.
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  std::function<void()> on_signal_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

// From now on a termination signal closes `dialog` as its close box does.
// Message boxes open in one of its handlers are closed first, and the
// window once that handler has returned.
std::unique_ptr<TerminationSignals> close_on_termination_signals(QDialog& dialog);

}  // namespace tavik::console
