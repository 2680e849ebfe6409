// The bytes that the fuzzing backend's ports read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavik::fuzz {

// Ports opened from now on read these bytes; they must outlive the ports.
void set_line(const std::uint8_t* data, std::size_t size);

}  // namespace tavik::fuzz
