// Dialog 100, the About box.
#include "console/res/dialog_template.h"
#include "console/res/resource.h"

namespace tavik::console {
namespace {

constexpr ControlTemplate kControls[] = {
    {-1, ControlKind::Icon, "", 11, 17, 20, 20},
    {-1, ControlKind::Label, "Tavik V1 Basic 버전 1.0", 40, 10, 119, 8},
    {-1, ControlKind::Label, "로봇 베이스 벤치 콘솔", 40, 25, 119, 8},
    {1, ControlKind::DefPushButton, "확인", 178, 7, 50, 14},
};

constexpr DialogTemplate kAboutDialog{IDD_ABOUTBOX, "Tavik V1 Basic 정보", "굴림", 9, 235, 55, kControls};

}  // namespace

const DialogTemplate& about_dialog_template() { return kAboutDialog; }

}  // namespace tavik::console
