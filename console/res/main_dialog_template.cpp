// Dialog 102, the console's main window. One row per control, in template
// order; the comments name the group box whose frame holds the rows after them.
#include "console/res/dialog_template.h"
#include "console/res/resource.h"

namespace tavik::console {
namespace {

constexpr auto BUTTON = ControlKind::PushButton;
constexpr auto GROUP = ControlKind::GroupBox;
constexpr auto LABEL = ControlKind::Label;
constexpr auto EDIT = ControlKind::Edit;
constexpr auto READONLY = ControlKind::ReadOnlyEdit;
constexpr auto COMBO = ControlKind::ComboBox;
constexpr auto BAR = ControlKind::ProgressBar;

constexpr ControlTemplate kControls[] = {
    // Serial Port Configuration
    {1000, BUTTON, "Connect", 122, 25, 37, 14},
    {1001, BUTTON, "Disconnect", 160, 25, 43, 14},
    {1002, BUTTON, "Connect", 122, 43, 37, 14},
    {1003, BUTTON, "Disconnect", 160, 43, 43, 14},
    {1005, COMBO, "", 80, 26, 40, 80},
    {1006, COMBO, "", 80, 43, 40, 80},
    {-1, LABEL, "Power/Sensor B/D", 15, 27, 63, 8},
    {-1, LABEL, "Drive B/D", 15, 46, 32, 8},
    {-1, GROUP, "Serial Port Configuration", 11, 12, 197, 53},
    // Ultrasonic Sensor Data, Ultrasonic Sensor Configuration
    {1007, BUTTON, "USonic Enable", 14, 257, 94, 14},
    {1008, BUTTON, "USonic Disable", 111, 257, 94, 14},
    {1010, COMBO, "", 15, 88, 60, 68},
    {-1, GROUP, "Ultrasonic Sensor Configuration", 11, 70, 199, 40},
    {1011, BUTTON, "Set", 78, 87, 127, 14},
    // Power Data / Configuration
    {1012, BUTTON, "Power Data Enable", 217, 169, 94, 14},
    {1013, BUTTON, "Power Data Disable", 314, 169, 94, 14},
    // Ultrasonic Sensor Data: bars, labels, range fields, units
    {1014, BAR, "Progress1", 64, 129, 80, 14},
    {1015, BAR, "Progress2", 64, 146, 80, 14},
    {1016, BAR, "Progress3", 64, 165, 80, 14},
    {1017, BAR, "Progress4", 64, 183, 80, 14},
    {1018, BAR, "Progress5", 64, 200, 80, 14},
    {1019, BAR, "Progress6", 64, 219, 80, 14},
    {1020, BAR, "Progress7", 64, 238, 80, 14},
    {-1, LABEL, "Ultra Sonic 1:", 18, 132, 44, 8},
    {-1, LABEL, "Ultra Sonic 2:", 18, 149, 44, 8},
    {-1, LABEL, "Ultra Sonic 3:", 18, 168, 44, 8},
    {-1, LABEL, "Ultra Sonic 4:", 18, 185, 44, 8},
    {-1, LABEL, "Ultra Sonic 5:", 18, 203, 44, 8},
    {-1, LABEL, "Ultra Sonic 6:", 18, 222, 44, 8},
    {-1, LABEL, "Ultra Sonic 7:", 18, 241, 44, 8},
    {1021, READONLY, "", 148, 129, 29, 14},
    {1022, READONLY, "", 148, 147, 29, 14},
    {1023, READONLY, "", 148, 165, 29, 14},
    {1024, READONLY, "", 148, 183, 29, 14},
    {1025, READONLY, "", 148, 201, 29, 14},
    {1026, READONLY, "", 148, 219, 29, 14},
    {1027, READONLY, "", 148, 238, 29, 14},
    {-1, LABEL, "cm", 181, 132, 11, 8},
    {-1, LABEL, "cm", 181, 149, 11, 8},
    {-1, LABEL, "cm", 181, 168, 11, 8},
    {-1, LABEL, "cm", 181, 185, 11, 8},
    {-1, LABEL, "cm", 181, 203, 11, 8},
    {-1, LABEL, "cm", 181, 222, 11, 8},
    {-1, LABEL, "cm", 181, 240, 11, 8},
    // Power Data / Configuration: value fields, labels, device buttons
    {1028, READONLY, "", 267, 18, 25, 14},
    {1029, READONLY, "", 267, 147, 25, 14},
    {1030, READONLY, "", 267, 114, 25, 14},
    {1031, READONLY, "", 267, 50, 25, 14},
    {1032, READONLY, "", 267, 130, 25, 14},
    {1033, READONLY, "", 267, 82, 25, 14},
    {-1, LABEL, "Battery Volt", 225, 21, 38, 8},
    {-1, LABEL, "Drive State", 228, 52, 35, 8},
    {-1, LABEL, "LRF State", 231, 85, 32, 8},
    {-1, LABEL, "SG State", 234, 116, 29, 8},
    {-1, LABEL, "LCD State", 230, 132, 33, 8},
    {-1, LABEL, "Servo State", 225, 150, 38, 8},
    {1035, BUTTON, "Drive On", 296, 50, 50, 14},
    {1036, BUTTON, "LRF On", 296, 82, 50, 14},
    {1038, BUTTON, "SG On", 296, 114, 50, 14},
    {1039, BUTTON, "Servo On", 296, 146, 50, 14},
    {1040, BUTTON, "Drive Off", 348, 50, 50, 14},
    {1041, BUTTON, "LRF Off", 348, 82, 50, 14},
    {1043, BUTTON, "SG Off", 348, 114, 50, 14},
    {1044, BUTTON, "Servo Off", 348, 146, 50, 14},
    {-1, GROUP, "Ultrasonic Sensor Data", 11, 114, 198, 162},
    {-1, GROUP, "Power Data / Configuration ", 213, 7, 199, 181},
    // Robot Control
    {1045, BUTTON, "Enable", 218, 288, 47, 14},
    {1046, BUTTON, "Disable", 267, 288, 47, 14},
    // Bumper / Emergency Data
    {1047, READONLY, "", 14, 338, 40, 14},
    {1048, READONLY, "", 58, 338, 40, 14},
    {1049, READONLY, "", 102, 338, 40, 14},
    {-1, LABEL, "Bumper Left", 15, 326, 40, 8},
    {-1, LABEL, "Bumper Right", 56, 326, 44, 8},
    {-1, LABEL, "Emg", 114, 324, 16, 8},
    {1050, BUTTON, "Emg Enable", 14, 356, 62, 14},
    {1051, BUTTON, "Emg Disable", 81, 356, 62, 14},
    // Robot Control: the jog cross
    {1052, BUTTON, "Front", 250, 207, 32, 26},
    {1053, BUTTON, "Left", 218, 233, 32, 26},
    {1055, BUTTON, "Right", 282, 233, 32, 26},
    {1056, BUTTON, "Rear", 250, 258, 32, 26},
    {-1, GROUP, "Robot Control", 213, 194, 105, 112},
    {-1, GROUP, "Bumper / Emergency Data", 11, 310, 136, 64},
    // Encoders Data
    {1058, READONLY, "", 155, 338, 60, 14},
    {1059, READONLY, "", 219, 338, 63, 14},
    {-1, LABEL, "Left", 178, 324, 12, 8},
    {-1, LABEL, "Right", 241, 324, 17, 8},
    {1060, BUTTON, "Encoder Enable", 155, 356, 60, 14},
    {1061, BUTTON, "Encoder Disable", 218, 356, 63, 14},
    {-1, GROUP, "Encoders Data", 150, 310, 136, 63},
    {-1, LABEL, "Device Power On/Off Button", 301, 31, 91, 8},
    // Parameter Read/Write
    {-1, LABEL, "Parameter Select", 338, 210, 56, 8},
    {1062, BUTTON, "Read", 375, 254, 34, 14},
    {1063, COMBO, "", 323, 223, 86, 59},
    {1064, READONLY, "", 323, 254, 50, 14},
    {1065, BUTTON, "Write", 375, 286, 34, 14},
    {1066, EDIT, "", 323, 286, 50, 14},
    {-1, LABEL, "Read Param Value", 334, 242, 62, 8},
    {-1, GROUP, "Parameter Read/Write", 321, 194, 91, 112},
    {-1, LABEL, "Write Param Value", 337, 272, 60, 8},
    // Wheel Error
    {1067, READONLY, "", 299, 338, 52, 14},
    {1068, READONLY, "", 356, 338, 52, 14},
    {-1, LABEL, "Left", 315, 324, 12, 8},
    {-1, LABEL, "Right", 370, 324, 17, 8},
    {1069, BUTTON, "Read", 299, 355, 52, 14},
    {-1, GROUP, "Wheel Error ", 294, 310, 118, 63},
    {1070, BUTTON, "Reset", 356, 355, 52, 14},
    // Power Data / Configuration: the rows added last
    {1034, READONLY, "", 267, 33, 25, 14},
    {-1, LABEL, "Consum. Cur.", 216, 36, 47, 8},
    {1054, READONLY, "", 267, 66, 25, 14},
    {-1, LABEL, "Sensors State", 217, 68, 46, 8},
    {1057, READONLY, "", 267, 98, 25, 14},
    {-1, LABEL, "SBC State", 229, 101, 34, 8},
    {1071, BUTTON, "Sensors On", 296, 66, 50, 14},
    {1072, BUTTON, "Sensors Off", 348, 66, 50, 14},
    {1073, BUTTON, "SBC On", 296, 98, 50, 14},
    {1074, BUTTON, "SBC Off", 348, 98, 50, 14},
    {1075, BUTTON, "LCD On", 296, 130, 50, 14},
    {1076, BUTTON, "LCD Off", 348, 130, 50, 14},
};

static_assert(std::size(kControls) == 118);

constexpr DialogTemplate kMainDialog{
    IDD_TAVIK_DIALOG, "ORVANE BASIC TAVIK V0.9", "굴림", 9, 567, 414, kControls,
};

}  // namespace

const DialogTemplate& main_dialog_template() { return kMainDialog; }

}  // namespace tavik::console
