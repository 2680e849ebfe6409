#include "console/qt/about_dlg.h"

#include <QPushButton>

#include "console/qt/app_icon.h"
#include "console/res/dialog_template.h"

namespace tavik::console {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  controls_ = build_dialog(*this, about_dialog_template());
  setWindowIcon(app_icon());
  for (const BuiltControl& c : controls_) {
    if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      connect(button, &QPushButton::clicked, this, &QDialog::accept);
    }
  }
}

}  // namespace tavik::console
