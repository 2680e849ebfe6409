#include "console/qt/dialog_builder.h"

#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>

#include "console/qt/app_icon.h"
#include "console/qt/blank_wrapped_label.h"
#include "console/qt/cached_frame_style.h"
#include "console/qt/dialog_font.h"
#include "console/qt/dialog_units.h"
#include "console/qt/drop_down_list.h"
#include "console/qt/utf8_text.h"

namespace tavik::console {
namespace {

// A control that fills its own rectangle is opaque to the repaint manager:
// a new text repaints that control alone, not the dialog and the group box
// behind it as well. It fills with the colour it covers (see stack()).
void fill_own_background(QWidget* widget) {
  widget->setBackgroundRole(QPalette::Window);
  widget->setAutoFillBackground(true);
}

// The colour a group box leaves inside its frame, as drawn by the style.
QColor inside_colour(QGroupBox& group) {
  QImage image(group.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(group.palette().color(QPalette::Window));
  group.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image.pixelColor(group.width() / 2, group.height() / 2);
}

// Group boxes are frames drawn behind the controls they enclose, and the
// controls that fill their own background take the colour inside the frame.
void stack(const std::vector<BuiltControl>& controls) {
  for (const BuiltControl& c : controls) {
    auto* group = qobject_cast<QGroupBox*>(c.widget);
    if (group == nullptr) continue;
    group->lower();
    const QColor inside = inside_colour(*group);
    for (const BuiltControl& other : controls) {
      QWidget* w = other.widget;
      if (!w->autoFillBackground() || !group->geometry().contains(w->geometry())) continue;
      QPalette palette = w->palette();
      palette.setColor(QPalette::Window, inside);
      w->setPalette(palette);
    }
  }
}

// Dialog units from the top of `c` down to the nearest control below it
// that it spans sideways, at most its own height: the room a closed list
// has, whose template height is that of its dropped-down list.
int room_below(std::span<const ControlTemplate> all, const ControlTemplate& c) {
  int room = c.cy;
  for (const ControlTemplate& other : all) {
    if (other.y <= c.y || other.x >= c.x + c.cx || other.x + other.cx <= c.x) continue;
    room = std::min(room, other.y - c.y);
  }
  return room;
}

QWidget* create_control(QDialog& dialog, std::span<const ControlTemplate> all, const ControlTemplate& c,
                        BaseUnits units) {
  QRect rect = map_dialog_rect(units, c.x, c.y, c.cx, c.cy);
  QString caption = from_utf8(c.caption);
  QWidget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(caption, &dialog);
      bool is_default = c.kind == ControlKind::DefPushButton;
      button->setAutoDefault(is_default);
      button->setDefault(is_default);
      widget = button;
      break;
    }
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(caption, &dialog);
      group->setFocusPolicy(Qt::NoFocus);
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = group;
      break;
    }
    case ControlKind::Label: {
      // A label of more than a line wraps its text at blanks, as a Windows
      // static control does.
      auto* label =
          c.cy >= 2 * kDialogLine ? new BlankWrappedLabel(caption, &dialog) : new QLabel(caption, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setMargin(0);
      // Labels the program writes to; fixed captions are painted once.
      if (c.id > 0) fill_own_background(label);
      widget = label;
      break;
    }
    case ControlKind::Icon: {
      // An icon control takes the size of the system's icon, not the template's.
      auto* label = new QLabel(&dialog);
      label->setPixmap(app_icon().pixmap(32, 32));
      rect.setSize({32, 32});
      widget = label;
      break;
    }
    case ControlKind::Edit:
    case ControlKind::ReadOnlyEdit: {
      auto* edit = new QLineEdit(caption, &dialog);
      if (c.kind == ControlKind::ReadOnlyEdit) {
        // A read-out: selectable with the mouse, skipped by Tab.
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus);
      }
      fill_own_background(edit);
      widget = edit;
      break;
    }
    case ControlKind::ComboBox: {
      auto* list = new DropDownList(&dialog);
      list->setFont(dialog.font());
      // As high as the font needs, without reaching the control below.
      int closed =
          std::min(list->sizeHint().height(), mul_div(c.y + room_below(all, c), units.y, 8) - rect.y());
      int item = std::max(1, QFontMetrics(dialog.font()).height());
      list->setMaxVisibleItems(std::max(1, (rect.height() - closed) / item));
      rect.setHeight(closed);
      widget = list;
      break;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(&dialog);
      bar->setOrientation(Qt::Horizontal);
      bar->setTextVisible(false);
      bar->setRange(0, 100);
      bar->setValue(0);
      widget = bar;
      break;
    }
  }
  widget->setGeometry(rect);
  widget->setProperty(kControlIdProperty, c.id);
  return widget;
}

// Room the window manager's frame takes around the client area: borders
// and a title bar, generously.
constexpr QSize kFrame(16, 48);

// The screen a window of cx x cy dialog units in `font` opens on: the one
// under the mouse pointer if the window fits there, else the first one it
// fits, else the largest (where it is then made smaller).
QScreen* screen_for(const QFont& font, int cx, int cy) {
  QScreen* pointer = QGuiApplication::screenAt(QCursor::pos());
  if (pointer == nullptr) pointer = QGuiApplication::primaryScreen();
  if (pointer == nullptr) return nullptr;
  const QSize size = map_dialog_size(dialog_base_units(font), cx, cy);
  auto fits = [&](const QScreen* s) {
    const QSize room = window_room(s);
    return size.width() <= room.width() && size.height() <= room.height();
  };
  if (fits(pointer)) return pointer;
  QScreen* largest = pointer;
  for (QScreen* s : QGuiApplication::screens()) {
    if (fits(s)) return s;
    const QSize a = window_room(s), b = window_room(largest);
    if (qint64(a.width()) * a.height() > qint64(b.width()) * b.height()) largest = s;
  }
  return largest;
}

}  // namespace

QSize window_room(const QScreen* screen) { return screen->availableGeometry().size() - kFrame; }

std::vector<BuiltControl> build_dialog(QDialog& dialog, const DialogTemplate& source) {
  dialog.setWindowTitle(from_utf8(source.caption));
  // A window larger than its screen (a small screen, or a large scale factor)
  // is made smaller as a whole, with its font; one still too large at the
  // smallest font opens with its title bar in the screen's upper left corner.
  const QFont font = dialog_font(source.font_face, source.font_points);
  QScreen* screen = dialog.parentWidget() ? nullptr : screen_for(font, source.cx, source.cy);
  const FittedFont fitted =
      screen ? fit_dialog_font(font, source.cx, source.cy, window_room(screen)) : FittedFont{font, true};
  dialog.setFont(fitted.font);
  // A fixed frame with a close box and no minimise or maximise box.
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  dialog.setSizeGripEnabled(false);
  BaseUnits units = dialog_base_units(dialog.font());
  dialog.setFixedSize(map_dialog_size(units, source.cx, source.cy));
  if (screen != nullptr) {
    const QRect room = screen->availableGeometry();
    QRect frame(QPoint(), dialog.size() + kFrame);
    frame.moveCenter(room.center());
    frame.moveTopLeft(QPoint(std::max(frame.left(), room.left()), std::max(frame.top(), room.top())));
    dialog.setScreen(screen);
    dialog.move(frame.topLeft());
  }

  std::vector<BuiltControl> controls;
  controls.reserve(source.controls.size());
  std::vector<QProgressBar*> bars;
  std::vector<QLineEdit*> edits;
  for (const ControlTemplate& c : source.controls) {
    QWidget* widget = create_control(dialog, source.controls, c, units);
    if (auto* bar = qobject_cast<QProgressBar*>(widget)) bars.push_back(bar);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edits.push_back(edit);
    controls.push_back({&c, widget});
  }
  stack(controls);
  // Progress bars without the smooth style: the Windows style draws the
  // filled part in blocks. The style is created after the widgets, so that
  // it is deleted after them.
  if (!bars.empty()) {
    if (QStyle* blocks = QStyleFactory::create(QStringLiteral("Windows"))) {
      blocks->setParent(&dialog);
      for (QProgressBar* bar : bars) bar->setStyle(blocks);
    }
  }
  if (!edits.empty()) {
    auto* cached = new CachedFrameStyle;
    cached->setParent(&dialog);
    for (QLineEdit* edit : edits) edit->setStyle(cached);
  }
  return controls;
}

std::vector<BuiltControl> add_controls(QDialog& dialog, std::span<const ControlTemplate> extra) {
  const BaseUnits units = dialog_base_units(dialog.font());
  std::vector<BuiltControl> controls;
  for (const ControlTemplate& c : extra) controls.push_back({&c, create_control(dialog, extra, c, units)});
  stack(controls);
  return controls;
}

}  // namespace tavik::console
