// The drive keeper's rules as a table: events at times in, on a fake clock
// and a scripted board; the requests it sent (with their times) and what it
// reported of each command out. One row a rule.
#include "drive/keeper.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavik::drive {
namespace {

using namespace std::chrono_literals;

// The keeper on a fake clock against a board that answers at once, with
// the answers a row scripts for a request's text ("BE200;200", "max",
// "status"), else ok.
struct Rig {
  explicit Rig(Settings settings) : keeper(settings) {}
  Keeper keeper;
  const Time t0 = Time{} + 1h;
  Time now = t0;
  std::map<std::string, std::vector<Answer>> script;
  std::vector<std::string> wire;
  std::vector<std::string> told;

  int ms() const { return static_cast<int>((now - t0) / 1ms); }
  Time at(int ms) const { return t0 + std::chrono::milliseconds(ms); }
  static std::string text(const Exchange& e) {
    switch (e.kind) {
      case Exchange::Kind::kReadMaxVelocity:
        return "max";
      case Exchange::Kind::kReadStatus:
        return "status";
      default:
        return "BE" + std::to_string(e.left) + ";" + std::to_string(e.right);
    }
  }
  Answer answer(const std::string& request) {
    Answer answer;
    if (request == "max") answer.values[0] = 1000;
    auto it = script.find(request);
    if (it == script.end() || it->second.empty()) return answer;
    answer = it->second.front();
    it->second.erase(it->second.begin());
    return answer;
  }
  void exchange(const Exchange& e) {
    const std::string request = text(e);
    wire.push_back(std::to_string(ms()) + " " + request);
    keeper.answered(e, answer(request), now);
  }
  void note() {
    for (const Outcome& o : keeper.take_outcomes()) {
      static const char* const kinds[] = {"taken", "superseded", "refused", "failed", "ended"};
      std::string line = kinds[static_cast<int>(o.kind)] + std::string(" #") + std::to_string(o.tag);
      if (!o.step.empty()) line += " " + o.step;
      if (!o.answer.result.is_ok()) line += std::string(" (") + failure_name(o.answer.result.failure) + ")";
      if (!o.block.text.empty()) line += " " + o.block.text;
      if (o.why == Outcome::Why::kAboveMaxVelocity) line += " above " + std::to_string(o.max_velocity);
      if (o.why == Outcome::Why::kBlocked) line += " blocked";
      if (o.why == Outcome::Why::kStopFirst) line += " stop first";
      if (o.why == Outcome::Why::kClosed) line += " closed";
      if (o.why == Outcome::Why::kStopUnanswered) line += " stop unanswered";
      told.push_back(line);
    }
  }
  // Every exchange due, on the clock as it goes in 10 ms steps, up to `until` ms.
  void run(int until) {
    for (;;) {
      while (const std::optional<Exchange> e = keeper.next(now)) exchange(*e);
      note();
      if (ms() >= until) return;
      now += 10ms;
    }
  }
  void drive(int left, int right, int until, std::uint64_t tag) {
    keeper.drive(left, right, at(until), tag);
    note();
  }
};

Answer failing(Failure failure) { return Answer{Result(failure)}; }

struct Row {
  const char* rule;
  Settings settings;
  std::function<void(Rig&)> events;
  std::vector<std::string> wire;
  std::vector<std::string> told;
};

const Settings kBridge{};
const Settings kTool{.ridden_failures = 1, .watch = true};

const Row kRows[] = {
    {"the velocity goes again every period until the dead-man time, then the stop",
     kBridge,
     [](Rig& r) {
       r.drive(200, 200, 250, 1);
       r.run(400);
     },
     {"0 max", "0 BE200;200", "100 BE200;200", "200 BE200;200", "250 BE0;0"},
     {"taken #1", "ended #1 time"}},
    {"a failed velocity owes the stop, sent at once and before the next command",
     kBridge,
     [](Rig& r) {
       r.script["BE200;200"] = {failing(Failure::kNoReply)};
       r.drive(200, 200, 1000, 1);
       r.run(50);
       r.drive(100, 100, 1000, 2);
       r.run(50);
     },
     {"0 max", "0 BE200;200", "0 BE0;0", "50 BE100;100"},
     {"failed #1 send velocity (no reply)", "taken #2"}},
    {"an unanswered stop is tried three times in a row, then every period; a command meanwhile is refused",
     kBridge,
     [](Rig& r) {
       r.script["BE0;0"] = std::vector<Answer>(5, failing(Failure::kNoReply));
       r.drive(200, 200, 1000, 1);
       r.run(0);
       r.keeper.stop();
       r.run(50);
       r.drive(300, 300, 1000, 2);
       r.run(250);
     },
     {"0 max", "0 BE200;200", "0 BE0;0", "0 BE0;0", "0 BE0;0", "50 BE0;0", "150 BE0;0", "250 BE0;0"},
     {"taken #1", "failed #2 send the stop owed before the drive (no reply) stop unanswered"}},
    {"a speed above Max Velocity is refused and sends nothing",
     kBridge,
     [](Rig& r) {
       r.drive(1200, 0, 1000, 1);
       r.run(200);
     },
     {"0 max"},
     {"refused #1 above 1000"}},
    {"a drive while a bumper is closed is refused; one that is on stops",
     kBridge,
     [](Rig& r) {
       r.drive(200, 200, 1000, 1);
       r.run(50);
       r.keeper.set_blocked(Block{"bumper-closed", "left bumper closed"});
       r.drive(200, 200, 1000, 2);
       r.run(250);
     },
     {"0 max", "0 BE200;200", "50 BE0;0"},
     {"taken #1", "refused #2 left bumper closed blocked"}},
    {"a command overtaken before it went out is superseded",
     kBridge,
     [](Rig& r) {
       r.drive(200, 200, 1000, 1);
       r.drive(100, 100, 150, 2);
       r.run(200);
     },
     {"0 max", "0 BE100;100", "100 BE100;100", "150 BE0;0"},
     {"superseded #1", "taken #2", "ended #2 time"}},
    {"a drive at 0,0 ends the drive before it: nothing moves after it",
     kBridge,
     [](Rig& r) {
       r.drive(200, 200, 1000, 1);
       r.run(150);
       r.drive(0, 0, 1000, 2);
       r.run(250);
     },
     {"0 max", "0 BE200;200", "100 BE200;200", "150 BE0;0"},
     {"taken #1", "taken #2"}},
    {"a moving velocity answered after a stop went out beside it owes the stop once more",
     kBridge,
     [](Rig& r) {
       r.drive(200, 200, 1000, 1);
       r.run(90);
       r.now = r.at(100);
       const std::optional<Exchange> velocity = r.keeper.next(r.now);
       ASSERT_TRUE(velocity.has_value());
       r.keeper.stop();
       const std::optional<Exchange> stop = r.keeper.stop_now();
       ASSERT_TRUE(stop.has_value());
       r.exchange(*stop);
       r.exchange(*velocity);
       r.run(200);
     },
     {"0 max", "0 BE200;200", "100 BE0;0", "100 BE200;200", "100 BE0;0"},
     {"taken #1"}},
    {"the tool rides through one failed exchange; two in a row end the drive with the stop",
     kTool,
     [](Rig& r) {
       r.script["BE200;200"] = {Answer{}, failing(Failure::kNoReply), Answer{}, Answer{},
                                failing(Failure::kBadCheck)};
       r.script["status"] = {Answer{}, Answer{}, failing(Failure::kNoReply)};
       r.drive(200, 200, 1000, 1);
       r.run(500);
     },
     {"0 max", "0 BE200;200", "0 status", "100 BE200;200", "200 BE200;200", "200 status", "300 BE200;200",
      "300 status", "400 BE200;200", "400 BE0;0"},
     {"taken #1", "ended #1 send velocity (bad check byte)"}},
    {"the tool's drive ends on a closed bumper with the stop",
     kTool,
     [](Rig& r) {
       r.script["status"] = {Answer{}, Answer{Result{}, {0, 0, 1}}};
       r.drive(200, 200, 1000, 1);
       r.run(200);
     },
     {"0 max", "0 BE200;200", "0 status", "100 BE200;200", "100 status", "100 BE0;0"},
     {"taken #1", "ended #1 emergency stop closed"}},
    {"a lost port ends the drive; the stop goes every period; Max Velocity is read again",
     kBridge,
     [](Rig& r) {
       r.script["BE200;200"] = {Answer{}, failing(Failure::kDeviceLost)};
       r.script["BE0;0"] = {failing(Failure::kDeviceLost)};
       r.drive(200, 200, 1000, 1);
       r.run(250);
       r.drive(200, 200, 1000, 2);
       r.run(250);
     },
     {"0 max", "0 BE200;200", "100 BE200;200", "100 BE0;0", "200 BE0;0", "250 max", "250 BE200;200"},
     {"taken #1", "ended #1 send velocity (device lost)", "taken #2"}},
    {"a jog held by hand rides through every failure, the port lost too, without a stop",
     Settings{.check_max_velocity = false, .hold_still = true, .held = true},
     [](Rig& r) {
       r.script["BE200;200"] = {failing(Failure::kDeviceLost), failing(Failure::kRefused)};
       r.drive(200, 200, 1000, 1);
       r.run(250);
     },
     {"0 BE200;200", "100 BE200;200", "200 BE200;200"},
     {}},
    {"once closed, every drive is refused",
     kBridge,
     [](Rig& r) {
       r.keeper.close();
       r.drive(200, 200, 1000, 1);
       r.run(100);
     },
     {"0 BE0;0"},
     {"refused #1 closed"}},
};

TEST(DriveKeeper, FollowsEachRule) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.rule);
    Rig rig(row.settings);
    row.events(rig);
    EXPECT_EQ(rig.wire, row.wire);
    EXPECT_EQ(rig.told, row.told);
  }
}

}  // namespace
}  // namespace tavik::drive
