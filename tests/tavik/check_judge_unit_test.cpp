// tavik check's judging without boards: readings and the default limits in,
// each item's verdict out (PASS, FAIL outside its limits, ERROR when its
// read failed), whether the drive test may start, and which verdict stands
// when an item is measured again.
#include <gtest/gtest.h>

#include "check_judge.h"

namespace tavik::cli {
namespace {

const Json kPsb = Json::parse(R"({"battery_mv": 12600, "current_ma": 800,
    "ranges_mm": [400, 500, 600, 700, 800, 900, 1000],
    "devices": {"drive": true, "sensors": true, "lrf": false, "sbc": true, "sg": false, "lcd": true,
                "servo": false}})");
const Json kDrvb = Json::parse(R"({"bumpers": {"left": false, "right": false}, "emergency_stop": false,
    "wheel_errors": {"left": 0, "right": 0}})");

// A board's reading after polls whose steps took round_trip_ms each, those in failed failing.
BoardRead board_read(Json reading, std::vector<const char*> steps, std::map<std::string, Result> failed,
                     double round_trip_ms = 2.0) {
  BoardRead read;
  read.reading = std::move(reading);
  read.failed = std::move(failed);
  std::vector<Step> polled;
  for (const char* step : steps)
    polled.push_back({step, read.failed.count(step) != 0 ? read.failed.at(step) : Result{}, round_trip_ms});
  read.figures.add(polled, 0);
  return read;
}

const Item& item(const std::vector<Item>& items, const std::string& name) {
  for (const Item& i : items) {
    if (i.name == name) return i;
  }
  throw std::out_of_range("no item " + name);
}

TEST(CheckJudge, JudgesTheReadingsItemByItem) {
  struct Case {
    const char* what;
    const char* change;  // a JSON merge patch on the healthy reading
    const char* failed_step = nullptr;
    double round_trip_ms = 2.0;
    const char* name = "";
    const char* outcome = "";
    const char* message = "";  // part of it
  };
  const Case psb_cases[] = {
      {"healthy battery", "{}", nullptr, 2.0, "battery", kPass},
      {"low battery", R"({"battery_mv": 11400})", nullptr, 2.0, "battery", kFail, "below 11.5 V"},
      {"high battery", R"({"battery_mv": 14500})", nullptr, 2.0, "battery", kFail, "above 14.4 V"},
      {"high current", R"({"current_ma": 5001})", nullptr, 2.0, "current", kFail, "above 5 A"},
      {"no echo", R"({"ranges_mm": [400, 500, 600, 700, 800, 900, 10]})", nullptr, 2.0, "range_right_150",
       kFail, "below 0.05 m"},
      {"device off", "{}", nullptr, 2.0, "device_lrf", kPass},
      {"slow link", "{}", nullptr, 25.0, "psb_link", kFail, "above 20 ms"},
      {"silent power data", R"({"battery_mv": null, "current_ma": null, "devices": null})", "read power data",
       2.0, "battery", kError, "read power data failed: no reply"},
      {"silent ranges", R"({"ranges_mm": null})", "read ranges", 2.0, "range_front", kError,
       "read ranges failed: no reply"},
      {"a failed exchange", "{}", "read ranges", 2.0, "psb_link", kFail,
       "1 of 2 exchanges failed (no reply 1)"},
  };
  const Case drvb_cases[] = {
      {"bumper pressed", R"({"bumpers": {"left": true}})", nullptr, 2.0, "bumper_left", kFail,
       "expected released"},
      {"emergency stop", R"({"emergency_stop": true})", nullptr, 2.0, "emergency_stop", kFail},
      {"wheel error", R"({"wheel_errors": {"right": 129}})", nullptr, 2.0, "wheel_error_right", kFail},
      {"clear", "{}", nullptr, 2.0, "wheel_error_left", kPass},
      {"silent bumpers", R"({"bumpers": null, "emergency_stop": null})", "read bumpers", 2.0,
       "emergency_stop", kError, "read bumpers failed: no reply"},
  };
  for (const bool psb : {true, false}) {
    for (const Case& c : psb ? std::vector<Case>(std::begin(psb_cases), std::end(psb_cases))
                             : std::vector<Case>(std::begin(drvb_cases), std::end(drvb_cases))) {
      SCOPED_TRACE(c.what);
      Json reading = psb ? kPsb : kDrvb;
      reading.merge_patch(Json::parse(c.change));
      std::map<std::string, Result> failed;
      if (c.failed_step != nullptr) failed[c.failed_step] = Result(Failure::kNoReply);
      CheckJudge judge(default_rules(DriveTest{}));
      if (psb)
        judge.psb(board_read(reading, {"read power data", "read ranges"}, failed, c.round_trip_ms));
      else
        judge.drvb(board_read(reading, {"read bumpers", "read wheel errors"}, failed, c.round_trip_ms));
      const std::vector<Item> items = judge.take_items();
      const Item& judged = item(items, c.name);
      EXPECT_EQ(judged.outcome, c.outcome) << judged.message;
      EXPECT_NE(judged.message.find(c.message), std::string::npos) << judged.message;
      EXPECT_EQ(judged.reason, std::string(c.outcome) == kError ? "no-reply" : "");
      // Every other item of a healthy reading passes.
      for (const Item& other : items) {
        if (other.name != c.name && c.failed_step == nullptr && c.round_trip_ms < 20) {
          EXPECT_EQ(other.outcome, kPass) << other.name << ": " << other.message;
        }
      }
    }
  }
  // Judged as the check's report orders them.
  CheckJudge judge(default_rules(DriveTest{}));
  judge.psb(board_read(kPsb, {"read power data", "read ranges"}, {}));
  const std::vector<Item> items = judge.take_items();
  ASSERT_EQ(items.size(), 1u + 2u + 7u + 7u);
  EXPECT_EQ(items.front().name, "psb_link");
  EXPECT_EQ(items[1].name, "battery");
  EXPECT_EQ(items.back().name, "device_servo");
}

TEST(CheckJudge, TheDriveTestStartsOnlyWhenSafeAndWithinMaxVelocity) {
  struct Case {
    const char* what;
    const char* drvb_change;
    std::optional<int> max_velocity;  // read, or its read failed
    int speed;
    const char* blocked;  // "" when the drive may start
  };
  const Case cases[] = {
      {"clear", "{}", 1000, 100, ""},
      {"at max velocity", "{}", 1000, 1000, ""},
      {"above max velocity", "{}", 1000, 1001,
       "--speed 1001 mm/s is above the board's max_velocity of 1000 mm/s"},
      {"max velocity unread", "{}", std::nullopt, 100, "max_velocity unknown"},
      {"bumper", R"({"bumpers": {"right": true}})", 1000, 100, "bumper_right pressed"},
      {"wheel error", R"({"wheel_errors": {"left": 2}})", 1000, 100, "wheel_error_left 0x02"},
      {"emergency stop", R"({"emergency_stop": true})", 1000, 100, "emergency_stop pressed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json reading = kDrvb;
    reading.merge_patch(Json::parse(c.drvb_change));
    CheckJudge judge(default_rules(DriveTest{}));
    judge.drvb(board_read(reading, {"read bumpers", "read wheel errors"}, {}));
    const Parameter& max_velocity = kParameters[0];
    judge.parameter(max_velocity, c.max_velocity ? Result{} : Result(Failure::kNoReply),
                    c.max_velocity.value_or(0));
    EXPECT_EQ(judge.drive_blocked(c.speed), c.blocked);
  }
}

TEST(CheckJudge, AnItemMeasuredAgainTakesTheLaterVerdictOnlyWhereTheFirstFailed) {
  Json low = kPsb;
  low["battery_mv"] = 11400;
  CheckJudge judge(default_rules(DriveTest{}));
  judge.psb(board_read(low, {"read power data", "read ranges"}, {}));
  judge.parameter(kParameters[0], Result(Failure::kNoReply), 0);
  CheckJudge later(judge.rules());
  Json high_current = kPsb;
  high_current["current_ma"] = 5001;
  later.psb(board_read(high_current, {"read power data", "read ranges"}, {}));
  later.parameter(kParameters[0], Result{}, 1000);
  judge.judged_again(std::move(later), 2);
  judge.drvb(board_read(kDrvb, {"read bumpers", "read wheel errors"}, {}));
  EXPECT_EQ(judge.drive_blocked(100), "");  // max_velocity from the second attempt
  const std::vector<Item> items = judge.take_items();
  struct Case {
    const char* name;
    const char* outcome;
    int attempts;
  };
  for (const Case& c : {Case{"battery", kPass, 2}, {"current", kPass, 1}, {"max_velocity", kPass, 2}}) {
    EXPECT_EQ(item(items, c.name).outcome, c.outcome) << c.name;
    EXPECT_EQ(item(items, c.name).attempts, c.attempts) << c.name;
  }
}

TEST(CheckJudge, AMarginalValueIsMarkedOnlyWhenItPasses) {
  Rules rules = default_rules(DriveTest{});
  for (ItemRule& rule : rules) {
    if (rule.name == "battery") rule.limit.marginal_low = 12.0;
    if (rule.name == "psb_link") rule.limit.marginal_high = 1.0;
  }
  CheckJudge judge(rules);
  Json reading = kPsb;
  reading["battery_mv"] = 11800;
  // Slow enough to be marginal, and one exchange failed: FAIL, not marginal.
  judge.psb(board_read(reading, {"read power data", "read ranges", "read version"},
                       {{"read version", Result(Failure::kNoReply)}}));
  const std::vector<Item> items = judge.take_items();
  EXPECT_EQ(item(items, "battery").outcome, kPass);
  EXPECT_TRUE(item(items, "battery").marginal);
  EXPECT_EQ(item(items, "psb_link").outcome, kFail);
  EXPECT_FALSE(item(items, "psb_link").marginal);
}

TEST(CheckJudge, TheDriveTestsCountsMatchItsTravel) {
  // 100 mm/s for 1 s at 5 counts per mm: 500 counts, 10 % either way.
  struct Case {
    int left, right;
    const char* left_outcome;
    const char* right_outcome;
  };
  const Case cases[] = {
      {500, 500, kPass, kPass}, {450, 550, kPass, kPass}, {449, 551, kFail, kFail}, {0, 500, kFail, kPass}};
  for (const Case& c : cases) {
    CheckJudge judge(default_rules(DriveTest{}));
    judge.drive_counts(c.left, c.right);
    const std::vector<Item> items = judge.take_items();
    EXPECT_EQ(item(items, "drive_left").outcome, c.left_outcome) << c.left;
    EXPECT_EQ(item(items, "drive_right").outcome, c.right_outcome) << c.right;
  }
  CheckJudge judge(default_rules(DriveTest{}));
  judge.drive_not_measured("not driven: SIGINT", "stopped");
  for (const Item& wheel : judge.take_items()) {
    EXPECT_EQ(wheel.outcome, kError);
    EXPECT_EQ(wheel.reason, "stopped");
    EXPECT_TRUE(wheel.value.is_null());
  }
}

}  // namespace
}  // namespace tavik::cli
