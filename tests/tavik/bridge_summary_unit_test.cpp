// The bridge's summary without a broker: when the pacer lets one out (a
// change at most once a second, the same one again every 10 s), on a clock
// the test moves; and what the summary says of a robot's readings.
#include <gtest/gtest.h>

#include "summary.h"

namespace tavik::cli {
namespace {

using std::chrono::milliseconds;

TEST(BridgeSummary, GoesOutOnAChangeAtMostOnceASecondAndAsAHeartbeat) {
  struct Offer {
    int at_ms;
    const char* content;
    bool sent;
  };
  struct Case {
    const char* name;
    std::vector<Offer> offers;
  };
  const Case cases[] = {
      {"the first at once", {{0, "a", true}}},
      {"the same within 10 s: nothing", {{0, "a", true}, {200, "a", false}, {9800, "a", false}}},
      {"the same after 10 s: a heartbeat", {{0, "a", true}, {9999, "a", false}, {10000, "a", true}}},
      {"a change after 1 s: at once", {{0, "a", true}, {1000, "b", true}}},
      {"a change within 1 s waits for it",
       {{0, "a", true}, {200, "b", false}, {400, "c", false}, {999, "c", false}, {1000, "c", true}}},
      {"a change undone within 1 s: nothing", {{0, "a", true}, {200, "b", false}, {1200, "a", false}}},
      {"changes at 5 Hz: one a second",
       {{0, "a", true}, {200, "b", false}, {1000, "c", true}, {1200, "d", false}, {2000, "e", true}}},
      {"the heartbeat counts from the last sent",
       {{0, "a", true}, {3000, "b", true}, {12999, "b", false}, {13000, "b", true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SummaryPacer pacer;
    const SummaryPacer::Clock::time_point start{};
    for (const Offer& offer : c.offers)
      EXPECT_EQ(pacer.due(offer.content, start + milliseconds(offer.at_ms)), offer.sent)
          << "at " << offer.at_ms;
  }
}

TEST(BridgeSummary, RenewedItGoesOutAtOnce) {
  SummaryPacer pacer;
  const SummaryPacer::Clock::time_point start{};
  ASSERT_TRUE(pacer.due("a", start));
  pacer.renew();
  EXPECT_TRUE(pacer.due("a", start + milliseconds(100)));
}

TEST(BridgeSummary, SaysWhatTheOverviewNeeds) {
  const Json drvb_clear = {{"bumpers", {{"left", false}, {"right", false}}},
                           {"emergency_stop", false},
                           {"wheel_errors", {{"left", 0}, {"right", 0}}}};
  Json drvb_bumped = drvb_clear;
  drvb_bumped["bumpers"]["left"] = true;
  const Json ok_boards = Json::array({{{"name", "psb"}, {"level", "OK"}, {"message", "ok"}},
                                      {{"name", "drvb"}, {"level", "OK"}, {"message", "ok"}}});
  const Json bad_boards = Json::array({{{"name", "psb"}, {"level", "WARN"}, {"message", "late-reply"}},
                                       {{"name", "drvb"}, {"level", "ERROR"}, {"message", "no-reply"}}});
  struct Case {
    const char* name;
    SummarySource source;
    Json expected;
  };
  const Case cases[] = {
      {"all well, rounded",
       {true, {{"battery_mv", 24149}}, drvb_clear, ok_boards, true, odometry::Pose{1.234, -0.001, 0.5}},
       {{"online", true},
        {"battery_v", 24.1},
        {"boards", {{"psb", "OK"}, {"drvb", "OK"}}},
        {"bumpers", drvb_clear["bumpers"]},
        {"emergency_stop", false},
        {"wheel_errors", drvb_clear["wheel_errors"]},
        {"drive", true},
        {"pose", {{"x_m", 1.23}, {"y_m", -0.0}, {"heading_rad", 0.5}}}}},
      {"the worst board's reason; nothing read",
       {true, nullptr, nullptr, bad_boards, true, std::nullopt},
       {{"online", true},
        {"boards", {{"psb", "WARN"}, {"drvb", "ERROR"}}},
        {"reason", "no-reply"},
        {"drive", false}}},
      {"a bumper stops the drive",
       {false, nullptr, drvb_bumped, ok_boards, true, std::nullopt},
       {{"online", false},
        {"boards", {{"psb", "OK"}, {"drvb", "OK"}}},
        {"bumpers", drvb_bumped["bumpers"]},
        {"emergency_stop", false},
        {"wheel_errors", drvb_clear["wheel_errors"]},
        {"reason", "bumper-closed"},
        {"drive", false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Json got = summary_content(c.source);
    EXPECT_EQ(got, c.expected) << got.dump();
  }
  // A pose of its own is no change: a moving robot would send one every second.
  SummarySource moved = cases[0].source;
  moved.pose->x_m += 1;
  EXPECT_EQ(summary_change_key(summary_content(moved)), summary_change_key(cases[0].expected));
  moved.online = false;
  EXPECT_NE(summary_change_key(summary_content(moved)), summary_change_key(cases[0].expected));
}

}  // namespace
}  // namespace tavik::cli
