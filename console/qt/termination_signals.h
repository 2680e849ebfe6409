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

}  // namespace tavik::console
