#include "sim/models/fault.h"

#include <array>
#include <utility>

namespace tavik::sim {
namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 7> kKindNames = {{
    {FaultKind::kSilence, "silence"},
    {FaultKind::kBadBcc, "bcc"},
    {FaultKind::kBadStatus, "status"},
    {FaultKind::kNoise, "noise"},
    {FaultKind::kTruncate, "truncate"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kDrop, "drop"},
}};

}  // namespace

std::string_view fault_kind_name(FaultKind kind) {
  for (const auto& [k, name] : kKindNames) {
    if (k == kind) return name;
  }
  return "?";
}

std::optional<FaultKind> parse_fault_kind(std::string_view name) {
  for (const auto& [k, n] : kKindNames) {
    if (n == name) return k;
  }
  return std::nullopt;
}

std::string_view board_name(Board board) { return board == Board::kPsb ? "psb" : "drvb"; }

std::optional<Board> parse_board(std::string_view name) {
  if (name == "psb") return Board::kPsb;
  if (name == "drvb") return Board::kDrvb;
  return std::nullopt;
}

}  // namespace tavik::sim
