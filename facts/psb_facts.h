// The power & sensor board: the devices it switches, its seven ultrasonic
// sensors and the codes of their maximum distance. The libraries, the
// simulator, the recording, the tool, the bridge and the console read them
// here; tests/python compares the Python package's copy with them.
#pragma once

#include <array>
#include <cstddef>

namespace tavik::psb {

// A switched device: its number (enum psb_device, the libraries' argument),
// the two request characters after 'P' ("PA21" switches the sensors on),
// its name in the tool, the recording and the bridge, and its label on the
// fleet page's switch.
struct DeviceFact {
  int number;
  const char* code;
  const char* name;
  const char* label;
};

inline constexpr DeviceFact kDeviceTable[] = {
    {0, "A1", "drive", "Drive"}, {1, "A2", "sensors", "Sensors"}, {2, "A3", "lrf", "LRF"},
    {3, "A4", "sbc", "SBC"},     {4, "A5", "sg", "SG"},           {5, "B2", "lcd", "LCD"},
    {6, "B3", "servo", "Servo"},
};

inline constexpr int kDeviceCount = static_cast<int>(std::size(kDeviceTable));

constexpr bool numbered_in_order() {
  for (int i = 0; i < kDeviceCount; ++i)
    if (kDeviceTable[i].number != i) return false;
  return true;
}
static_assert(numbered_in_order(), "a device's row is its number");

// An ultrasonic sensor on the robot's rim, by range number (the order of a
// "Sar" reply): its name in the recording, the bridge and tavik check, its
// label in the console's Trends window, and its direction in degrees,
// counter-clockwise from straight ahead.
struct RangeSensorFact {
  const char* name;
  const char* label;
  int angle_deg;
};

inline constexpr RangeSensorFact kRangeSensors[] = {
    {"front", "front", 0},
    {"left_40", "left 40°", 40},
    {"right_40", "right 40°", -40},
    {"left_90", "left 90°", 90},
    {"right_90", "right 90°", -90},
    {"left_150", "left 150°", 150},
    {"right_150", "right 150°", -150},
};

inline constexpr int kRangeCount = static_cast<int>(std::size(kRangeSensors));

// The ultrasonic sensors' beam: the width of its cone and the nearest
// distance one measures, as ROS 2's sensor_msgs/Range reports them (the
// farthest is the maximum distance below, max_dist_cm). Neither is told by
// the board: these are the usual figures of such sensors, not measured on
// this robot's; a robot with other sensors changes them here.
inline constexpr int kRangeFieldOfViewDeg = 30;
inline constexpr int kRangeMinMm = 30;

// The ultrasonic maximum distance: the board takes a code '0'..'9' ("SDU9")
// that stands for 100 + 50·code cm and starts at the last one; the
// libraries' argument is the code less one.
inline constexpr int kMaxDistCodes = 10;
inline constexpr int kPowerUpMaxDistCode = kMaxDistCodes - 1;
inline constexpr int kLeastMaxDist = -1;  // the libraries' argument, code 0
inline constexpr int kMostMaxDist = kMaxDistCodes - 2;
constexpr int max_dist_cm(int code) { return 100 + 50 * code; }

// A column of a table, for the readers that want the names alone.
template <class Row, std::size_t N, class Field>
constexpr auto column(const Row (&table)[N], Field Row::*field) {
  std::array<Field, N> values{};
  for (std::size_t i = 0; i < N; ++i) values[i] = table[i].*field;
  return values;
}

inline constexpr auto kDeviceNames = column(kDeviceTable, &DeviceFact::name);
inline constexpr auto kRangeNames = column(kRangeSensors, &RangeSensorFact::name);

}  // namespace tavik::psb
