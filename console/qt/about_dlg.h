// The About box, dialog 100: the program's icon, name and version, and its
// button "확인". It closes with that button, Enter, Esc or its close box.
#pragma once

#include <QDialog>
#include <vector>

#include "console/qt/dialog_builder.h"

namespace tavik::console {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  const std::vector<BuiltControl>& controls() const { return controls_; }

 private:
  std::vector<BuiltControl> controls_;
};

}  // namespace tavik::console
