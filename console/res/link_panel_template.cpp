// The link panel, in the main window's right part, which the template leaves
// empty (its controls end at 412 of 567 dialog units). Rows as in the main
// template: place and size in dialog units.
#include "console/core/control_ids.h"
#include "console/res/dialog_template.h"

namespace tavik::console {
namespace {

constexpr auto GROUP = ControlKind::GroupBox;
constexpr auto LABEL = ControlKind::Label;

constexpr int kLeft = 424;
constexpr int kValueLeft = 470;
constexpr int kValueWidth = 86;

constexpr ControlTemplate kControls[] = {
    {-1, GROUP, "Link", 418, 12, 142, 156},
    {-1, LABEL, "Power/Sensor B/D", kLeft, 26, 80, 8},
    {-1, LABEL, "Port", kLeft, 38, 44, 8},
    {IDC_LINK_PSB_PORT, LABEL, "", kValueLeft, 38, kValueWidth, 8},
    {-1, LABEL, "State", kLeft, 50, 44, 8},
    {IDC_LINK_PSB_STATE, LABEL, "", kValueLeft, 50, kValueWidth, 8},
    {-1, LABEL, "Round trip", kLeft, 62, 44, 8},
    {IDC_LINK_PSB_ROUND_TRIP, LABEL, "", kValueLeft, 62, kValueWidth, 8},
    {-1, LABEL, "Exchanges", kLeft, 74, 44, 8},
    {IDC_LINK_PSB_COUNTS, LABEL, "", kValueLeft, 74, kValueWidth, 8},
    {-1, LABEL, "Drive B/D", kLeft, 96, 80, 8},
    {-1, LABEL, "Port", kLeft, 108, 44, 8},
    {IDC_LINK_DRVB_PORT, LABEL, "", kValueLeft, 108, kValueWidth, 8},
    {-1, LABEL, "State", kLeft, 120, 44, 8},
    {IDC_LINK_DRVB_STATE, LABEL, "", kValueLeft, 120, kValueWidth, 8},
    {-1, LABEL, "Round trip", kLeft, 132, 44, 8},
    {IDC_LINK_DRVB_ROUND_TRIP, LABEL, "", kValueLeft, 132, kValueWidth, 8},
    {-1, LABEL, "Exchanges", kLeft, 144, 44, 8},
    {IDC_LINK_DRVB_COUNTS, LABEL, "", kValueLeft, 144, kValueWidth, 8},
};

}  // namespace

std::span<const ControlTemplate> link_panel_controls() { return kControls; }

}  // namespace tavik::console
