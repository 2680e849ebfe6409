#include "console/qt/drop_down_list.h"

#include <QLineEdit>

namespace tavik::console {

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setDuplicatesEnabled(true);
  setCompleter(nullptr);
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
  connect(this, &QComboBox::activated, this, [this] { typed_ = false; });
}

int DropDownList::selection() const { return typed_ ? -1 : currentIndex(); }

void DropDownList::select(int index) {
  typed_ = false;
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void DropDownList::insert(int index, const QString& text) {
  bool had_selection = currentIndex() >= 0;
  QString shown = currentText();
  insertItem(index < 0 || index > count() ? count() : index, text);
  // QComboBox selects the first entry put into an empty list; a Windows list
  // keeps what it had selected, or nothing.
  if (!had_selection && currentIndex() >= 0) {
    setCurrentIndex(-1);
    setEditText(shown);
  }
}

}  // namespace tavik::console
