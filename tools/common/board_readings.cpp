#include "board_readings.h"

#include <chrono>

#include "drvb/drvb_commands.h"
#include "psb/psb_commands.h"
#include "serial/names/port_map.h"

namespace tavik::cli {
namespace {

// Runs one command, times it and records it as a step.
template <class Command>
bool timed(std::vector<Step>& steps, const char* name, Command&& command) {
  const auto start = std::chrono::steady_clock::now();
  const Result result = command();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  steps.push_back({name, result, ms});
  return result.is_ok();
}

}  // namespace

Json read_psb(BoardConnection& connection, std::vector<Step>& steps) {
  Json record = Json::object();
  psb_power_data power{};
  if (timed(steps, "read power data", [&] { return psb::read_power(connection, &power); })) {
    record["battery_mv"] = power.battery_volt;
    record["current_ma"] = power.consum_cur;
    const std::int32_t states[] = {power.drive_state, power.sensors_state, power.lrf_state,  power.sbc_state,
                                   power.sg_state,    power.lcd_state,     power.servo_state};
    Json devices = Json::object();
    for (std::size_t i = 0; i < std::size(states); ++i) devices[kPsbDevices[i]] = states[i] != 0;
    record["devices"] = devices;
  }
  std::int32_t ranges[psb::kRangeCount] = {};
  if (timed(steps, "read ranges", [&] { return psb::read_usonic(connection, ranges); })) {
    record["ranges_mm"] = Json(std::vector<std::int32_t>(std::begin(ranges), std::end(ranges)));
  }
  return record;
}

Json read_drvb(BoardConnection& connection, std::vector<Step>& steps,
               const std::function<void()>& before_each) {
  Json record = Json::object();
  const auto next = [&] {
    if (before_each) before_each();
  };
  int left = 0, right = 0;
  next();
  if (timed(steps, "read encoders", [&] { return drvb::read_encoder(connection, &left, &right); })) {
    record["encoders"] = {{"left", left}, {"right", right}};
  }
  drvb::BumpersAndErrors state;
  next();
  if (timed(steps, "read bumpers", [&] { return drvb::read_bumpers_and_errors(connection, &state); })) {
    record["bumpers"] = {{"left", state.bumper_left != 0}, {"right", state.bumper_right != 0}};
    record["emergency_stop"] = state.emergency != 0;
    record["wheel_errors"] = {{"left", static_cast<unsigned char>(state.error_left)},
                              {"right", static_cast<unsigned char>(state.error_right)}};
  }
  steps.push_back({"read wheel errors", steps.back().result, 0, true});
  return record;
}

void mark_failures(Json& reading, const std::vector<Step>& steps) {
  Json failed = Json::object();
  recording::FailureReasons reasons;
  for (const Step& step : steps) {
    if (step.result.is_ok()) continue;
    const std::string why = describe(step.result);
    failed[step.name] = why;
    reasons.add(step.name, why);
  }
  if (failed.empty()) return;
  reading["failed"] = failed;
  reading["reason"] = reasons.text();
}

Json board_header(const Session& session, Board board) {
  return Json{{"board", board_name(board)},
              {"port", session.port(board)},
              {"target", port_target(session.port(board))}};
}

int print_status(Session& session, Output& out, Board board) {
  BoardConnection& connection = session.open(board);
  std::vector<Step> steps;
  Json record = board_header(session, board);
  record.update(board == Board::kPsb ? read_psb(connection, steps) : read_drvb(connection, steps));
  for (const Step& step : steps) session.check(step.result, step.name, board);
  out.record(record);
  return kExitOk;
}

}  // namespace tavik::cli
