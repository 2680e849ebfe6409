// Faults that a substitute board can be told to put on its line, per board
// and per command.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavik::sim {

enum class Board { kPsb, kDrvb };

enum class FaultKind {
  // The board ignores the request: no effect, no reply.
  kSilence,
  // The reply goes out with a wrong BCC.
  kBadBcc,
  // The board refuses the request: no effect, and a status reply carries
  // `status` instead of '0'. Replies without a status byte are unchanged.
  kBadStatus,
  // `noise_bytes` random bytes (never STX) go out ahead of the reply.
  kNoise,
  // Only the first half of the reply goes out.
  kTruncate,
  // The reply goes out `delay` later than it would.
  kDelay,
  // Like kSilence, for each matching request with `probability`.
  kDrop,
};

struct Fault {
  Board board = Board::kPsb;
  // Command letters as the board counts them ("Sar", "PDR", "SDU", "P", "BE",
  // "AA", ...); "*" matches every command of the board.
  std::string command = "*";
  FaultKind kind = FaultKind::kSilence;
  // Chance that a matching request is hit, 0..1. kDrop is the kind meant to
  // be used with a value below 1; every kind honours it.
  double probability = 1.0;
  std::chrono::milliseconds delay{0};  // kDelay
  char status = '1';                   // kBadStatus
  int noise_bytes = 5;                 // kNoise
  // Hits only the next `hits` matching requests, then is gone; 0: no end.
  int hits = 0;
};

// "silence", "bcc", "status", "noise", "truncate", "delay", "drop".
std::string_view fault_kind_name(FaultKind kind);
std::optional<FaultKind> parse_fault_kind(std::string_view name);
// "psb", "drvb".
std::string_view board_name(Board board);
std::optional<Board> parse_board(std::string_view name);

}  // namespace tavik::sim
