// The link panel, in the main window's right part, which the template leaves
// empty (its controls end at 412 of 567 dialog units). Rows as in the main
// template: place and size in dialog units.
#include <array>
#include <iterator>

#include "console/core/control_ids.h"
#include "console/res/dialog_template.h"

namespace tavik::console {
namespace {

constexpr auto GROUP = ControlKind::GroupBox;
constexpr auto LABEL = ControlKind::Label;

constexpr int kLeft = 424;
constexpr int kValueLeft = 470;
constexpr int kValueWidth = 86;
constexpr int kRow = 12;

// Each board's block: its title, then a label and a value per row; the value
// IDs follow first_id in row order.
constexpr std::string_view kRows[] = {"Port",         "State",    "Round trip",  "Exchanges",
                                      "Last failure", "Reopened", "Late replies"};
constexpr int kRowCount = static_cast<int>(std::size(kRows));
constexpr int kBlockSize = 1 + 2 * kRowCount;

constexpr void add_block(ControlTemplate* out, std::string_view title, int first_id, int top) {
  out[0] = {-1, LABEL, title, kLeft, top, 80, 8};
  for (int i = 0; i < kRowCount; ++i) {
    const int y = top + kRow * (i + 1);
    out[1 + 2 * i] = {-1, LABEL, kRows[i], kLeft, y, 44, 8};
    out[2 + 2 * i] = {first_id + i, LABEL, "", kValueLeft, y, kValueWidth, 8};
  }
}

constexpr std::array<ControlTemplate, 1 + 2 * kBlockSize> make_controls() {
  std::array<ControlTemplate, 1 + 2 * kBlockSize> out{};
  constexpr int kFirstTop = 26;
  constexpr int kSecondTop = kFirstTop + kRow * (kRowCount + 2);
  out[0] = {-1, GROUP, "Link", 418, 12, 142, kSecondTop + kRow * kRowCount + 10 - 12};
  add_block(&out[1], "Power/Sensor B/D", IDC_LINK_PSB_PORT, kFirstTop);
  add_block(&out[1 + kBlockSize], "Drive B/D", IDC_LINK_DRVB_PORT, kSecondTop);
  return out;
}

constexpr auto kControls = make_controls();

}  // namespace

std::span<const ControlTemplate> link_panel_controls() { return kControls; }

}  // namespace tavik::console
