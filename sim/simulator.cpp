#include "sim/simulator.h"

#include "serial/ports/port_lock.h"
#include "sim/simulator_impl.h"

namespace tavik::sim {

using Clock = std::chrono::steady_clock;

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>(options_)) {}

Simulator::~Simulator() = default;

std::string Simulator::psb_path() const { return impl_->psb->path(); }
std::string Simulator::drvb_path() const { return impl_->drvb->path(); }
std::string Simulator::path(Board board) const { return impl_->server(board).path(); }

SimStatus Simulator::status() const {
  SimStatus s = impl_->with_model([](RobotModel& m) { return m.snapshot(Clock::now()); });
  s.psb = impl_->psb->counters();
  s.drvb = impl_->drvb->counters();
  s.psb.attached = port_locked(s.psb.path);
  s.drvb.attached = port_locked(s.drvb.path);
  return s;
}

bool Simulator::client_attached(Board board) const { return port_locked(impl_->server(board).path()); }

void Simulator::set_fault(const Fault& fault) { impl_->server(fault.board).set_fault(fault); }

void Simulator::clear_faults() {
  impl_->psb->clear_faults();
  impl_->drvb->clear_faults();
}

void Simulator::clear_faults(Board board) { impl_->server(board).clear_faults(); }

Bytes Simulator::take_received(Board board) { return impl_->server(board).take_received(); }

void Simulator::unplug(Board board) { impl_->server(board).unplug(); }
void Simulator::replug(Board board) { impl_->server(board).replug(); }

void Simulator::set_emergency(bool on) {
  impl_->with_model([&](RobotModel& m) { m.drive().set_emergency(on); });
}

void Simulator::press_bumpers(bool left, bool right) {
  impl_->with_model([&](RobotModel& m) { m.drive().press_bumpers(left, right, m.world()); });
}

void Simulator::set_battery(double volts) {
  impl_->with_model([&](RobotModel& m) { m.power().set_battery(volts); });
}

void Simulator::set_pose(double x_mm, double y_mm, double heading_rad) {
  impl_->with_model([&](RobotModel& m) {
    m.drive().stop();
    m.world().place({x_mm, y_mm, heading_rad});
    m.drive().update_bumpers(m.world());
  });
}

}  // namespace tavik::sim
