// tavik watch --mcap against the simulator, the file read back by
// @mcap/core: the channels and schemas, a message per poll and board, the
// same values as the simulator's and as the CSV of the same polls; a watch
// killed outright leaves a file readable up to its last whole chunk; a
// board that does not answer leaves its reason on its channel; a drive's
// odometry ends where the simulated robot did, in the MCAP and in the CSV's
// columns, which only a watch that knows the wheel separation has.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "facts/drvb_facts.h"
#include "mcap_reader.h"
#include "odometry/wheel_odometry.h"
#include "recording/recording_csv.h"
#include "sim/models/world.h"
#include "tavik/tavik_fixture.h"
#include "tests/support/records/csv_reader.h"
#include "tests/support/records/sim_travel.h"

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

class WatchMcap : public TavikTool {
 protected:
  std::string file(const char* name) const { return (fs::path(com_dir_) / name).string(); }
  // The messages of one topic.
  static std::vector<Json> on(const Json& read, const std::string& topic) {
    std::vector<Json> out;
    for (const Json& m : read["messages"])
      if (m["topic"] == topic) out.push_back(m["data"]);
    return out;
  }
};

TEST_F(WatchMcap, RecordsEachPollOnItsChannelWithTheBoardsValues) {
  sim_.press_bumpers(true, false);
  sim_.set_battery(11.5);
  const std::string mcap = file("w.mcap"), csv = file("w.csv");
  const Finished f =
      run_tavik({"watch", "--rate", "10", "--duration", "2.05", "--mcap", mcap, "--csv", csv, "--json"});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  const sim::SimStatus status = sim_.status();
  const McapRead r = read_mcap(mcap);
  ASSERT_TRUE(r.ok) << r.error;

  const std::map<std::string, std::string> schemas{{"/psb/battery", "tavik.Battery"},
                                                   {"/psb/ranges", "tavik.Ranges"},
                                                   {"/drvb/wheels", "tavik.Wheels"},
                                                   {"/diagnostics", "tavik.Diagnostics"}};
  ASSERT_EQ(r.content["channels"].size(), schemas.size());
  for (const Json& c : r.content["channels"]) {
    const Json& s = r.content["schemas"][c["schema_id"].get<std::size_t>() - 1];
    EXPECT_EQ(s["name"], schemas.at(c["topic"])) << c;
    EXPECT_EQ(s["encoding"], "jsonschema");
    EXPECT_EQ(s["data"]["type"], "object");
    EXPECT_EQ(c["message_encoding"], "json");
  }

  std::ifstream csv_file(csv);
  const CsvRecording rows = read_csv(csv_file);
  EXPECT_EQ(rows.names, csv_cells(recording::csv_header()));  // no odometry without the wheel separation
  const auto battery = on(r.content, "/psb/battery"), ranges = on(r.content, "/psb/ranges"),
             wheels = on(r.content, "/drvb/wheels"), diagnostics = on(r.content, "/diagnostics");
  // Rate times duration, a poll each.
  EXPECT_GE(battery.size(), 18u);
  EXPECT_LE(battery.size(), 22u);
  ASSERT_EQ(battery.size(), rows.rows.size());
  ASSERT_EQ(ranges.size(), rows.rows.size());
  ASSERT_EQ(wheels.size(), rows.rows.size());
  EXPECT_GE(diagnostics.size(), 2u);
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    SCOPED_TRACE("poll " + std::to_string(i));
    EXPECT_DOUBLE_EQ(battery[i]["voltage"].get<double>(), std::stoi(rows.cell(i, "battery_mv")) / 1000.0);
    EXPECT_NEAR(battery[i]["voltage"].get<double>(), status.battery_volt, 0.5);
    for (std::size_t d = 0; d < status.devices.size(); ++d)
      EXPECT_EQ(battery[i]["devices"][recording::kPsbDevices[d]], status.devices[d]) << d;
    EXPECT_DOUBLE_EQ(ranges[i]["ranges_m"][0].get<double>(),
                     std::stoi(rows.cell(i, "range_front_mm")) / 1000.0);
    EXPECT_EQ(wheels[i]["encoders"]["left"], status.encoder_left);
    EXPECT_EQ(wheels[i]["bumpers"]["left"], true);
    EXPECT_EQ(wheels[i]["bumpers"]["right"], false);
    EXPECT_EQ(wheels[i]["emergency_stop"], status.emergency);
    EXPECT_FALSE(battery[i].contains("reason"));
  }
  for (const Json& d : diagnostics) EXPECT_EQ(d["boards"][0]["level"], "OK") << d;
  // Logged at the moment of the reading: in order, within the run.
  std::uint64_t last = 0;
  for (const Json& m : r.content["messages"]) {
    const std::uint64_t t = std::stoull(m["log_time"].get<std::string>());
    EXPECT_GE(t, last);
    last = t;
  }
}

TEST_F(WatchMcap, KilledWatchLeavesItsWholeChunks) {
  const std::string mcap = file("killed.mcap");
  TavikProcess watch({"watch", "--rate", "10", "--mcap", mcap});
  std::this_thread::sleep_for(std::chrono::milliseconds(2600));
  watch.signal(SIGKILL);
  watch.finish();
  EXPECT_FALSE(fs::exists(mcap));
  // The temporary file beside the name: .killed.mcap.XXXXXX
  std::string temporary;
  for (const auto& e : fs::directory_iterator(com_dir_))
    if (e.path().filename().string().rfind(".killed.mcap.", 0) == 0) temporary = e.path();
  ASSERT_FALSE(temporary.empty());
  EXPECT_FALSE(read_mcap(temporary).ok);  // no summary: not for the indexed reader
  const McapRead r = read_mcap(temporary, true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.content["channels"].size(), 4u);
  // Two seconds of whole chunks, a chunk a second: 10 polls a board each.
  // a chunk may end between a poll's two boards.
  const auto psb = on(r.content, "/psb/battery").size(), drvb = on(r.content, "/drvb/wheels").size();
  EXPECT_GE(psb, 10u);
  EXPECT_LE(psb - drvb, 1u);
}

TEST_F(WatchMcap, FailedReadsKeepTheirReasonOnTheirChannel) {
  sim_.execute("fault drvb * silence");
  const std::string mcap = file("silent.mcap");
  const Finished f = run_tavik({"watch", "--duration", "1.5", "--mcap", mcap});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  const McapRead r = read_mcap(mcap);
  ASSERT_TRUE(r.ok) << r.error;
  const auto wheels = on(r.content, "/drvb/wheels");
  ASSERT_FALSE(wheels.empty());
  for (const Json& w : wheels) {
    EXPECT_EQ(w["reason"], "no reply") << w;
    EXPECT_FALSE(w.contains("encoders"));
  }
  const auto diagnostics = on(r.content, "/diagnostics");
  ASSERT_FALSE(diagnostics.empty());
  EXPECT_EQ(diagnostics.back()["boards"][1]["level"], "ERROR");
  EXPECT_EQ(diagnostics.back()["boards"][0]["level"], "OK");
}

TEST_F(WatchMcap, TheOdometryOfADriveEndsWhereTheRobotDid) {
  ASSERT_EQ(run_tavik({"drvb", "servo", "on"}).exit_code, 0);
  const sim::SimStatus start = sim_.status();
  const std::string mcap = file("odom.mcap"), csv = file("odom.csv");
  const Finished f =
      run_tavik({"watch", "--rate", "10", "--duration", "2.5", "--mcap", mcap, "--csv", csv, "--drive", "250",
                 "120", "--for", "1.5", "--wheel-separation-mm", std::to_string(sim::kWheelBaseMm)});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  const sim::SimStatus end = sim_.status();
  const McapRead r = read_mcap(mcap);
  ASSERT_TRUE(r.ok) << r.error;
  std::map<std::string, std::string> schema_of;
  for (const Json& c : r.content["channels"])
    schema_of[c["topic"]] = r.content["schemas"][c["schema_id"].get<std::size_t>() - 1]["name"];
  EXPECT_EQ(schema_of["/odom"], "foxglove.PoseInFrame");
  EXPECT_EQ(schema_of["/tf"], "foxglove.FrameTransforms");
  const auto odom = on(r.content, "/odom"), tf = on(r.content, "/tf");
  ASSERT_GE(odom.size(), 15u) << f.err << f.out;  // 25 polls
  ASSERT_EQ(odom.size(), tf.size());
  EXPECT_EQ(odom.back()["frame_id"], "odom");
  EXPECT_EQ(tf.back()["transforms"][0]["parent_frame_id"], "odom");
  EXPECT_EQ(tf.back()["transforms"][0]["child_frame_id"], "base_link");
  // The odometry starts at the first poll, which the drive may have begun
  // before: where the robot was then, in the frame it started in (one arc
  // at the drive's one velocity), and where it ended, in that first pose's.
  // A clean line: no poll loses its encoders to the drive beside it.
  const auto wheels = on(r.content, "/drvb/wheels");
  for (const Json& w : wheels) EXPECT_TRUE(w.contains("encoders")) << w;
  const Json& first = wheels.front()["encoders"];
  const double to_m = 1 / (drvb::kEncoderCountsPerMm * 1000);
  const odometry::Pose p1 = odometry::integrate(
      {}, first["left"].get<double>() * to_m, first["right"].get<double>() * to_m, sim::kWheelBaseMm / 1000);
  const odometry::Pose travel = sim_travel(start, end);
  const double dx = travel.x_m - p1.x_m, dy = travel.y_m - p1.y_m;
  const double c = std::cos(p1.heading_rad), s = std::sin(p1.heading_rad);
  const Json& pose = odom.back()["pose"];
  ASSERT_GT(std::hypot(dx, dy), 0.2) << "the robot did not drive";
  EXPECT_NEAR(pose["position"]["x"].get<double>(), dx * c + dy * s, 0.002);
  EXPECT_NEAR(pose["position"]["y"].get<double>(), -dx * s + dy * c, 0.002);
  const double heading =
      2 * std::atan2(pose["orientation"]["z"].get<double>(), pose["orientation"]["w"].get<double>());
  const double turned = travel.heading_rad - p1.heading_rad;
  EXPECT_NEAR(std::remainder(heading - turned, 2 * M_PI), 0, 0.002);
  // The CSV's last row: the same odometry, to its tenth of a millimetre, and the drive's end at rest.
  std::ifstream csv_file(csv);
  const CsvRecording rows = read_csv(csv_file);
  ASSERT_EQ(rows.rows.size(), wheels.size());
  std::vector<std::string> header = csv_cells(recording::csv_header());
  header.insert(header.end() - 1, {"odom_x_m", "odom_y_m", "odom_heading_rad", "odom_v_m_s",
                                   "odom_omega_rad_s", "odom_dropped_jumps"});
  EXPECT_EQ(rows.names, header);
  const std::size_t last = rows.rows.size() - 1;
  EXPECT_NEAR(std::stod(rows.cell(last, "odom_x_m")), pose["position"]["x"].get<double>(), 1e-4);
  EXPECT_NEAR(std::stod(rows.cell(last, "odom_y_m")), pose["position"]["y"].get<double>(), 1e-4);
  EXPECT_NEAR(std::stod(rows.cell(last, "odom_heading_rad")), heading, 1e-4);
  EXPECT_EQ(rows.cell(last, "odom_v_m_s"), "0.0000");
  EXPECT_EQ(rows.cell(last, "odom_omega_rad_s"), "0.00000");
  EXPECT_EQ(rows.cell(last, "odom_dropped_jumps"), "0");
}

}  // namespace
}  // namespace tavik::test
