#include "sim/line/reply_fault.h"

#include <algorithm>
#include <string>

#include "serial/codec/frame_codec.h"

namespace tavik::sim {
namespace {
constexpr int kMaxNoise = 64;
}  // namespace

Bytes refusal(const Fault& fault) { return status_frame(fault.status); }

void garble_reply(const Fault& fault, Bytes& reply, std::mt19937_64& rng) {
  switch (fault.kind) {
    case FaultKind::kBadBcc:
      if (!reply.empty()) reply.back() = static_cast<std::uint8_t>(reply.back() ^ 0x5A);
      break;
    case FaultKind::kNoise: {
      // Anything but STX, so the noise never looks like the start of a frame.
      std::uniform_int_distribution<int> byte(0, 254);
      Bytes noise(static_cast<std::size_t>(std::clamp(fault.noise_bytes, 0, kMaxNoise)));
      for (auto& b : noise) {
        const int v = byte(rng);
        b = static_cast<std::uint8_t>(v >= kStx ? v + 1 : v);
      }
      reply.insert(reply.begin(), noise.begin(), noise.end());
      break;
    }
    case FaultKind::kTruncate:
      reply.resize(reply.size() / 2);
      break;
    case FaultKind::kSilence:
    case FaultKind::kBadStatus:
    case FaultKind::kDelay:
    case FaultKind::kDrop:
      break;
  }
}

}  // namespace tavik::sim
