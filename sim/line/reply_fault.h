// What a fault does to one reply on its way out.
#pragma once

#include <random>

#include "sim/models/fault.h"
#include "sim/models/frame_builder.h"

namespace tavik::sim {

// The refusal a board sends instead of acting on a request: a status reply
// with the fault's status byte.
Bytes refusal(const Fault& fault);

// Alters reply (a complete frame) as the fault says: kBadBcc, kNoise and
// kTruncate change the bytes; the other kinds leave them as they are.
void garble_reply(const Fault& fault, Bytes& reply, std::mt19937_64& rng);

}  // namespace tavik::sim
