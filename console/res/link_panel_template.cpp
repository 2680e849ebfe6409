// The link panel, in the main window's right part, which the template leaves
// empty (its controls end at 412 of 567 dialog units, and 414 down). Rows as
// in the main template: place and size in dialog units.
#include <array>
#include <iterator>

#include "console/core/control_ids.h"
#include "console/res/dialog_template.h"

namespace tavik::console {
namespace {

constexpr auto GROUP = ControlKind::GroupBox;
constexpr auto LABEL = ControlKind::Label;

constexpr int kLeft = 424;
constexpr int kRight = 556;
constexpr int kValueLeft = 470;
constexpr int kRow = 12;
constexpr int kLine = 8;  // a line of text

// Each board's block: its title, then a label and a value per row; the value
// IDs follow first_id in row order. The port's value is the whole width of
// the block beneath its label and two lines high: a name that the ports file
// maps shows as "COM7 = rfc2217://127.0.0.1:17001", wrapped after the "=".
constexpr std::string_view kRows[] = {"Port",         "State",    "Round trip",  "Exchanges",
                                      "Last failure", "Reopened", "Late replies"};
constexpr int kRowCount = static_cast<int>(std::size(kRows));
constexpr int kBlockSize = 1 + 2 * kRowCount;
constexpr int kPortValueGap = 2;  // between the port's label and its value
// Two lines, and a little more for a toolkit whose lines are further apart
// than the font's height, on which dialog units are counted.
constexpr int kPortValueHeight = 2 * kLine + 2;
// How much lower the rows after the port's are than one row apart.
constexpr int kPortExtra = kPortValueGap + kPortValueHeight;
constexpr int kBlockHeight = kRow * (kRowCount + 2) + kPortExtra;

constexpr void add_block(ControlTemplate* out, std::string_view title, int first_id, int top) {
  out[0] = {-1, LABEL, title, kLeft, top, 80, kLine};
  for (int i = 0; i < kRowCount; ++i) {
    const int y = top + kRow * (i + 1) + (i > 0 ? kPortExtra : 0);
    out[1 + 2 * i] = {-1, LABEL, kRows[i], kLeft, y, 44, kLine};
    if (i == 0) {
      out[2] = {first_id, LABEL, "", kLeft, y + kLine + kPortValueGap, kRight - kLeft, kPortValueHeight};
    } else {
      out[2 + 2 * i] = {first_id + i, LABEL, "", kValueLeft, y, kRight - kValueLeft, kLine};
    }
  }
}

constexpr std::array<ControlTemplate, 1 + 2 * kBlockSize> make_controls() {
  std::array<ControlTemplate, 1 + 2 * kBlockSize> out{};
  constexpr int kGroupTop = 12;
  constexpr int kFirstTop = 26;
  constexpr int kSecondTop = kFirstTop + kBlockHeight;
  // Below the last row, a margin.
  constexpr int kBottom = kSecondTop + kRow * kRowCount + kPortExtra + kLine + 2;
  static_assert(kBottom <= 414, "within the main window's 414 dialog units");
  out[0] = {-1, GROUP, "Link", 418, kGroupTop, 142, kBottom - kGroupTop};
  add_block(&out[1], "Power/Sensor B/D", IDC_LINK_PSB_PORT, kFirstTop);
  add_block(&out[1 + kBlockSize], "Drive B/D", IDC_LINK_DRVB_PORT, kSecondTop);
  return out;
}

constexpr auto kControls = make_controls();

}  // namespace

std::span<const ControlTemplate> link_panel_controls() { return kControls; }

}  // namespace tavik::console
