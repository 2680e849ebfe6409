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
    {-1, GROUP, "Link", 418, 12, 142, 194},
    {-1, LABEL, "Power/Sensor B/D", kLeft, 26, 80, 8},
    {-1, LABEL, "Port", kLeft, 38, 44, 8},
    {IDC_LINK_PSB_PORT, LABEL, "", kValueLeft, 38, kValueWidth, 8},
    {-1, LABEL, "State", kLeft, 50, 44, 8},
    {IDC_LINK_PSB_STATE, LABEL, "", kValueLeft, 50, kValueWidth, 8},
    {-1, LABEL, "Round trip", kLeft, 62, 44, 8},
    {IDC_LINK_PSB_ROUND_TRIP, LABEL, "", kValueLeft, 62, kValueWidth, 8},
    {-1, LABEL, "Exchanges", kLeft, 74, 44, 8},
    {IDC_LINK_PSB_COUNTS, LABEL, "", kValueLeft, 74, kValueWidth, 8},
    {-1, LABEL, "Last failure", kLeft, 86, 44, 8},
    {IDC_LINK_PSB_FAILURE, LABEL, "", kValueLeft, 86, kValueWidth, 8},
    {-1, LABEL, "Reopened", kLeft, 98, 44, 8},
    {IDC_LINK_PSB_REOPENED, LABEL, "", kValueLeft, 98, kValueWidth, 8},
    {-1, LABEL, "Drive B/D", kLeft, 118, 80, 8},
    {-1, LABEL, "Port", kLeft, 130, 44, 8},
    {IDC_LINK_DRVB_PORT, LABEL, "", kValueLeft, 130, kValueWidth, 8},
    {-1, LABEL, "State", kLeft, 142, 44, 8},
    {IDC_LINK_DRVB_STATE, LABEL, "", kValueLeft, 142, kValueWidth, 8},
    {-1, LABEL, "Round trip", kLeft, 154, 44, 8},
    {IDC_LINK_DRVB_ROUND_TRIP, LABEL, "", kValueLeft, 154, kValueWidth, 8},
    {-1, LABEL, "Exchanges", kLeft, 166, 44, 8},
    {IDC_LINK_DRVB_COUNTS, LABEL, "", kValueLeft, 166, kValueWidth, 8},
    {-1, LABEL, "Last failure", kLeft, 178, 44, 8},
    {IDC_LINK_DRVB_FAILURE, LABEL, "", kValueLeft, 178, kValueWidth, 8},
    {-1, LABEL, "Reopened", kLeft, 190, 44, 8},
    {IDC_LINK_DRVB_REOPENED, LABEL, "", kValueLeft, 190, kValueWidth, 8},
};

}  // namespace

std::span<const ControlTemplate> link_panel_controls() { return kControls; }

}  // namespace tavik::console
