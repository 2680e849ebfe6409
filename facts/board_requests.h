// The requests each board takes, by the letters that open them: the
// libraries build every request from these letters, and the simulator's
// boards know these and no others. What follows the letters (the arguments)
// and what a board answers are written twice on purpose: the libraries'
// reply shapes (serial/exchange/reply_shapes.cpp) and the simulator's
// replies (sim/models) are each their own, so that the one tests the other.
#pragma once

#include <string_view>

namespace tavik {

struct RequestFact {
  std::string_view letters;
  const char* what;
};

namespace psb {

inline constexpr RequestFact kPowerDataRequest{"PDR", "battery, current and the devices' states"};
inline constexpr RequestFact kRangesRequest{"Sar", "the seven ultrasonic ranges"};
inline constexpr RequestFact kMaxDistRequest{"SDU", "the ultrasonic maximum distance: its code '0'..'9'"};
inline constexpr RequestFact kSwitchRequest{"P", "a device's switch: its code (DeviceFact), then '1' or '0'"};

inline constexpr RequestFact kRequests[] = {kPowerDataRequest, kRangesRequest, kMaxDistRequest,
                                            kSwitchRequest};

}  // namespace psb

namespace drvb {

inline constexpr RequestFact kServoRequest{"DB", "the servo: \"11\" on, \"00\" off"};
inline constexpr RequestFact kServoCommitRequest{"CZ", "\"11\" after DB, whatever DB's answer"};
inline constexpr RequestFact kVelocityRequest{"BE", "the wheels' velocities: left;right in mm/s"};
inline constexpr RequestFact kStatusBitsRequest{"AA", "bumpers, emergency stop and the wheel errors"};
inline constexpr RequestFact kEncodersRequest{"AC", "\"0\": the two encoder counts"};
inline constexpr RequestFact kErrorResetRequest{"CG", "clears the wheel errors"};
inline constexpr RequestFact kReadRegisterRequest{"XL", "a parameter register's value: its number"};
inline constexpr RequestFact kWriteRegisterRequest{
    "XB", "a parameter register: its number in two digits, the value"};
inline constexpr RequestFact kStoreRequest{"XD", "stores the registers written"};

inline constexpr RequestFact kRequests[] = {
    kServoRequest,      kServoCommitRequest,  kVelocityRequest,      kStatusBitsRequest, kEncodersRequest,
    kErrorResetRequest, kReadRegisterRequest, kWriteRegisterRequest, kStoreRequest,
};

}  // namespace drvb
}  // namespace tavik
