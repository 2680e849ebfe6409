// An editable drop-down list that reports its selection as a Windows combo
// box does: entries stay in insertion order, inserting selects nothing, and
// once the operator types into the edit field no entry is selected until one
// is picked from the list again.
#pragma once

#include <QComboBox>

namespace tavik::console {

class DropDownList : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDownList(QWidget* parent = nullptr);

  // Index of the selected entry, -1 when there is none.
  int selection() const;
  // Selects entry `index` and shows it in the edit field; -1 (or an index
  // past the end) clears the selection.
  void select(int index);
  // Inserts `text` before entry `index`; a negative index or one past the
  // end appends.
  void insert(int index, const QString& text);

 private:
  bool typed_ = false;
};

}  // namespace tavik::console
