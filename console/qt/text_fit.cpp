#include "console/qt/text_fit.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <algorithm>

#include "console/qt/blank_wrapped_label.h"
#include "console/qt/dialog_units.h"

namespace tavik::console {
namespace {

int width_of(const QWidget* w, const QString& text) {
  QString shown = text;
  shown.remove(QLatin1Char('&'));  // a mnemonic's marker takes no room
  return w->fontMetrics().horizontalAdvance(shown);
}

// A list's drop-down arrow as wide as half its height, as a Windows list's
// arrow keeps to its list's size, where the style's own fixed width would
// leave a narrow list no room for its text.
class NarrowArrowStyle : public QProxyStyle {
 public:
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                       const QWidget* widget) const override {
    if (control != CC_ComboBox || (part != SC_ComboBoxArrow && part != SC_ComboBoxEditField)) {
      return QProxyStyle::subControlRect(control, option, part, widget);
    }
    const QRect r = option->rect;
    const int arrow = std::max(8, r.height() / 2);
    const int frame = 2;
    if (part == SC_ComboBoxArrow)
      return QRect(r.right() - arrow - frame + 1, r.top() + frame, arrow, r.height() - 2 * frame);
    return QRect(r.left() + frame, r.top() + frame, r.width() - arrow - 2 * frame, r.height() - 2 * frame);
  }
};

}  // namespace

int text_overflow(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    if (label->text().isEmpty()) return 0;
    const QRect room = label->contentsRect();
    if (const auto* wrapped = dynamic_cast<const BlankWrappedLabel*>(label)) {
      // Lines below the label; a word wider than it goes on in the next line.
      const auto lines = static_cast<int>(wrapped->lines().size());
      return std::max(0, lines * label->fontMetrics().lineSpacing() - room.height());
    }
    return std::max(0, width_of(label, label->text()) - room.width());
  }
  if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
    if (button->text().isEmpty()) return 0;
    const QStyle* style = button->style();
    const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2 +
                             style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
    return std::max(0, width_of(button, button->text()) - (button->width() - margins));
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
    if (group->title().isEmpty()) return 0;
    // The style's title leaves some room to each side of it.
    const int indent = group->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    return std::max(0, width_of(group, group->title()) - (group->width() - 4 * indent));
  }
  if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = list->isEditable();
    const int room = list->style()
                         ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
                         .width();
    int need = 0;
    for (int i = 0; i < list->count(); ++i) {
      const QString item = list->itemText(i);
      if (!item.contains(QLatin1String(" ("))) need = std::max(need, width_of(list, item));
    }
    // The edit field keeps a little room for its cursor.
    return std::max(0, need + 4 - room);
  }
  return 0;
}

void fit_texts(std::span<const BuiltControl> controls) {
  QStyle* narrow = nullptr;
  for (const BuiltControl& c : controls) {
    QWidget* widget = c.widget;
    if (qobject_cast<QComboBox*>(widget) && text_overflow(widget) > 0) {
      if (!narrow) {
        narrow = new NarrowArrowStyle;
        narrow->setParent(widget->window());  // deleted after the widgets
      }
      widget->setStyle(narrow);
    }
    QFont font = widget->font();
    while (text_overflow(widget) > 0 && font.pointSizeF() - 0.5 >= kMinDialogPoints) {
      font.setPointSizeF(font.pointSizeF() - 0.5);
      widget->setFont(font);
    }
  }
}

}  // namespace tavik::console
