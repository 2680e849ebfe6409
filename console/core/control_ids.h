// Control IDs of the console's main window, as its dialog template gives them.
#pragma once

namespace tavik::console {

// The About box's button is IDOK, as windows.h names it with a macro of the
// same value: the macro is set aside for the enumerator.
#pragma push_macro("IDOK")
#undef IDOK
enum ControlId : int {
  IDC_PSB_CONNECT = 1000,
  IDC_PSB_DISCONNECT = 1001,
  IDC_DRVB_CONNECT = 1002,
  IDC_DRVB_DISCONNECT = 1003,
  IDC_PSB_PORT = 1005,
  IDC_DRVB_PORT = 1006,
  IDC_USONIC_ENABLE = 1007,
  IDC_USONIC_DISABLE = 1008,
  IDC_USONIC_MAX_DIST = 1010,
  IDC_USONIC_SET = 1011,
  IDC_POWER_DATA_ENABLE = 1012,
  IDC_POWER_DATA_DISABLE = 1013,
  IDC_USONIC_BAR1 = 1014,  // bars 1..7 are 1014..1020
  IDC_USONIC_BAR7 = 1020,
  IDC_USONIC_RANGE1 = 1021,  // range fields 1..7 are 1021..1027
  IDC_USONIC_RANGE7 = 1027,
  IDC_BATTERY_VOLT = 1028,
  IDC_SERVO_STATE = 1029,
  IDC_SG_STATE = 1030,
  IDC_DRIVE_STATE = 1031,
  IDC_LCD_STATE = 1032,
  IDC_LRF_STATE = 1033,
  IDC_CONSUM_CUR = 1034,
  IDC_DRIVE_ON = 1035,
  IDC_LRF_ON = 1036,
  IDC_SG_ON = 1038,
  IDC_SERVO_ON = 1039,
  IDC_DRIVE_OFF = 1040,
  IDC_LRF_OFF = 1041,
  IDC_SG_OFF = 1043,
  IDC_SERVO_OFF = 1044,
  IDC_ROBOT_CTRL_ENABLE = 1045,
  IDC_ROBOT_CTRL_DISABLE = 1046,
  IDC_BUMPER_LEFT = 1047,
  IDC_BUMPER_RIGHT = 1048,
  IDC_EMG = 1049,
  IDC_EMG_ENABLE = 1050,
  IDC_EMG_DISABLE = 1051,
  IDC_FRONT = 1052,
  IDC_LEFT = 1053,
  IDC_SENSORS_STATE = 1054,
  IDC_RIGHT = 1055,
  IDC_REAR = 1056,
  IDC_SBC_STATE = 1057,
  IDC_ENCODER_LEFT = 1058,
  IDC_ENCODER_RIGHT = 1059,
  IDC_ENCODER_ENABLE = 1060,
  IDC_ENCODER_DISABLE = 1061,
  IDC_PARAM_READ = 1062,
  IDC_PARAM_SELECT = 1063,
  IDC_READ_PARAM_VALUE = 1064,
  IDC_PARAM_WRITE = 1065,
  IDC_WRITE_PARAM_VALUE = 1066,
  IDC_WHEEL_ERR_LEFT = 1067,
  IDC_WHEEL_ERR_RIGHT = 1068,
  IDC_WHEEL_ERR_READ = 1069,
  IDC_WHEEL_ERR_RESET = 1070,
  IDC_SENSORS_ON = 1071,
  IDC_SENSORS_OFF = 1072,
  IDC_SBC_ON = 1073,
  IDC_SBC_OFF = 1074,
  IDC_LCD_ON = 1075,
  IDC_LCD_OFF = 1076,
  // The link panel, beside the template's controls: per board the port, the
  // state, the last round trip and the counts, PSB first.
  IDC_LINK_PSB_PORT = 1100,
  IDC_LINK_PSB_STATE = 1101,
  IDC_LINK_PSB_ROUND_TRIP = 1102,
  IDC_LINK_PSB_COUNTS = 1103,
  IDC_LINK_PSB_FAILURE = 1104,
  IDC_LINK_PSB_REOPENED = 1105,
  IDC_LINK_PSB_LATE = 1106,
  IDC_LINK_DRVB_PORT = 1110,
  IDC_LINK_DRVB_STATE = 1111,
  IDC_LINK_DRVB_ROUND_TRIP = 1112,
  IDC_LINK_DRVB_COUNTS = 1113,
  IDC_LINK_DRVB_FAILURE = 1114,
  IDC_LINK_DRVB_REOPENED = 1115,
  IDC_LINK_DRVB_LATE = 1116,
  IDC_STATIC = -1,  // labels and group boxes
  IDOK = 1,         // the About box's button
};
#pragma pop_macro("IDOK")

// The read-outs each poller fills; they are drawn stale while it does not.
inline constexpr int kUsonicReadouts[] = {1021, 1022, 1023, 1024, 1025, 1026, 1027};
inline constexpr int kPowerReadouts[] = {IDC_BATTERY_VOLT,  IDC_CONSUM_CUR, IDC_DRIVE_STATE,
                                         IDC_SENSORS_STATE, IDC_LRF_STATE,  IDC_SBC_STATE,
                                         IDC_SG_STATE,      IDC_LCD_STATE,  IDC_SERVO_STATE};
inline constexpr int kBumperReadouts[] = {IDC_BUMPER_LEFT, IDC_BUMPER_RIGHT, IDC_EMG};
inline constexpr int kEncoderReadouts[] = {IDC_ENCODER_LEFT, IDC_ENCODER_RIGHT};
// Filled by a click, stale after a failed read.
inline constexpr int kWheelErrReadouts[] = {IDC_WHEEL_ERR_LEFT, IDC_WHEEL_ERR_RIGHT};

}  // namespace tavik::console
