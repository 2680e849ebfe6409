// How far the drive board's encoder counts go: 5 counts per millimetre of
// travel (a 400 mm wheel circumference, 2000 counts a turn).
#pragma once

namespace tavik::drvb {

inline constexpr double kEncoderCountsPerMm = 5;

}  // namespace tavik::drvb
