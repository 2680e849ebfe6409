// The main window and the About box hold exactly their templates' controls,
// placed by the dialog-unit conversion, in tab order, with a font that can
// show the Korean texts.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <climits>

#include "console/core/control_ids.h"
#include "console/qt/about_dlg.h"
#include "console/qt/blank_wrapped_label.h"
#include "console/qt/dialog_font.h"
#include "console/qt/dialog_units.h"
#include "console/qt/drop_down_list.h"
#include "console/qt/text_fit.h"
#include "console/res/dialog_template.h"
#include "console/res/resource.h"
#include "console/res/string_table.h"
#include "qt_support.h"

namespace tavik::test {
namespace {

using console::BaseUnits;
using console::BuiltControl;
using console::ControlKind;
using console::ControlTemplate;

QString caption_of(const ControlTemplate& c) {
  return QString::fromUtf8(c.caption.data(), qsizetype(c.caption.size()));
}

bool has_kind(QWidget* w, ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton: {
      auto* b = qobject_cast<QPushButton*>(w);
      return b && !b->isDefault() && !b->autoDefault();
    }
    case ControlKind::DefPushButton: {
      auto* b = qobject_cast<QPushButton*>(w);
      return b && b->isDefault();
    }
    case ControlKind::GroupBox:
      return qobject_cast<QGroupBox*>(w) != nullptr;
    case ControlKind::Label:
      return qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty();
    case ControlKind::Icon:
      return qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->pixmap().isNull();
    case ControlKind::Edit:
      return qobject_cast<QLineEdit*>(w) && !qobject_cast<QLineEdit*>(w)->isReadOnly();
    case ControlKind::ReadOnlyEdit:
      return qobject_cast<QLineEdit*>(w) && qobject_cast<QLineEdit*>(w)->isReadOnly();
    case ControlKind::ComboBox:
      return qobject_cast<console::DropDownList*>(w) != nullptr;
    case ControlKind::ProgressBar: {
      auto* bar = qobject_cast<QProgressBar*>(w);
      return bar && !bar->isTextVisible() && bar->orientation() == Qt::Horizontal;
    }
  }
  return false;
}

QString shown_caption(QWidget* w) {
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  return {};
}

// Whether rectangle a lies wholly left of (or above) b; by `slack` pixels
// at most, for controls that touch in the template, whose edges are
// rounded on their own.
bool left_of(const QRect& a, const QRect& b, int slack = 0) { return a.x() + a.width() <= b.x() + slack; }
bool above(const QRect& a, const QRect& b, int slack = 0) { return a.y() + a.height() <= b.y() + slack; }

// Checks the widgets against the template: one direct child per control, of
// the right kind and caption, and `extra` more children; each inside the
// window, framed by the group boxes that frame it in the template, clear of
// the controls it is clear of there and on the same side of each. (Group
// boxes are stacked beneath the controls they frame; the tab order test
// checks the template order.)
void expect_built_from(QDialog& dialog, const console::DialogTemplate& source,
                       const std::vector<BuiltControl>& controls, std::size_t extra = 0) {
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(source.caption.data(), qsizetype(source.caption.size())));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the frame is not resizable";

  QList<QWidget*> children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(children.size(), qsizetype(source.controls.size() + extra));
  ASSERT_EQ(controls.size(), source.controls.size());
  const QRect window(QPoint(0, 0), dialog.size());
  for (std::size_t i = 0; i < source.controls.size(); ++i) {
    const ControlTemplate& c = source.controls[i];
    QWidget* w = controls[i].widget;
    SCOPED_TRACE(testing::Message() << "place " << i + 1 << ", ID " << c.id);
    EXPECT_TRUE(children.contains(w));
    EXPECT_EQ(w->property("controlId").toInt(), c.id);
    EXPECT_TRUE(has_kind(w, c.kind));
    EXPECT_TRUE(w->isEnabled() || c.id > 0) << "only the program disables controls";
    if (c.kind != ControlKind::ComboBox && c.kind != ControlKind::Edit &&
        c.kind != ControlKind::ReadOnlyEdit && c.kind != ControlKind::ProgressBar &&
        c.kind != ControlKind::Icon) {
      EXPECT_EQ(shown_caption(w), caption_of(c));
    }
    EXPECT_TRUE(window.contains(w->geometry())) << "outside the window";
    EXPECT_FALSE(w->geometry().isEmpty());
    if (c.kind == ControlKind::Icon) {
      EXPECT_EQ(w->size(), QSize(32, 32));
    }
    if (c.kind == ControlKind::ComboBox) {
      EXPECT_GE(qobject_cast<QComboBox*>(w)->maxVisibleItems(), 3);
    }
  }
  // The template's height of a drop-down list includes its list, which the
  // closed widget does not cover: its own rectangle stands for it.
  auto template_rect = [&](std::size_t i) {
    const ControlTemplate& c = source.controls[i];
    return QRect(c.x, c.y, c.cx, c.kind == ControlKind::ComboBox ? 1 : c.cy);
  };
  for (std::size_t i = 0; i < source.controls.size(); ++i) {
    for (std::size_t j = 0; j < source.controls.size(); ++j) {
      if (i == j) continue;
      SCOPED_TRACE(testing::Message() << "IDs " << source.controls[i].id << " and " << source.controls[j].id);
      const QRect a = template_rect(i), b = template_rect(j);
      const QRect wa = controls[i].widget->geometry(), wb = controls[j].widget->geometry();
      if (source.controls[i].kind == ControlKind::GroupBox && a.contains(b)) {
        EXPECT_TRUE(wa.adjusted(-1, -1, 1, 1).contains(wb));
      }
      if (left_of(a, b)) {
        EXPECT_TRUE(left_of(wa, wb, 1));
      }
      if (above(a, b) && source.controls[i].kind != ControlKind::ComboBox) {
        EXPECT_TRUE(above(wa, wb, 1));
      }
    }
  }
}

TEST(DialogUnits, ConvertAsTheDialogManagerDoes) {
  struct Case {
    int number, numerator, denominator, result;
  } cases[] = {
      {122, 6, 4, 183},    {25, 12, 8, 38},          {37, 6, 4, 56},   {14, 12, 8, 21},   {1, 1, 2, 1},
      {-1, 1, 2, -1},      {-3, 1, 2, -2},           {3, -1, 2, -2},   {7, 0, 4, 0},      {5, 1, 0, -1},
      {INT_MAX, 2, 1, -1}, {INT_MAX, 2, 2, INT_MAX}, {567, 7, 4, 992}, {414, 14, 8, 725},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(console::mul_div(c.number, c.numerator, c.denominator), c.result)
        << c.number << " * " << c.numerator << " / " << c.denominator;
  }
  // Each of x, y, width and height is converted on its own.
  EXPECT_EQ(console::map_dialog_rect({6, 12}, 122, 25, 37, 14), QRect(183, 38, 56, 21));
  EXPECT_EQ(console::map_dialog_rect({7, 14}, 15, 27, 63, 8), QRect(26, 47, 110, 14));
  EXPECT_EQ(console::map_dialog_size({8, 16}, 567, 414), QSize(1134, 828));

  // Base units follow the font, so the layout keeps its proportions.
  QFont small = console::dialog_font("굴림", 9);
  QFont large = small;
  large.setPointSize(18);
  BaseUnits s = console::dialog_base_units(small), l = console::dialog_base_units(large);
  EXPECT_GT(s.x, 0);
  EXPECT_GT(s.y, s.x);
  EXPECT_NEAR(double(l.x) / s.x, 2.0, 0.35);
  EXPECT_NEAR(double(l.y) / s.y, 2.0, 0.35);

  // A window too large for its room is made smaller with its font.
  struct Room {
    QSize room;
    bool same, fits;
  };
  for (const Room& r :
       {Room{{1264, 976}, true, true}, Room{{624, 464}, false, true}, Room{{100, 80}, false, false}}) {
    SCOPED_TRACE(testing::Message() << r.room.width() << "x" << r.room.height());
    const console::FittedFont fitted = console::fit_dialog_font(small, 567, 414, r.room);
    EXPECT_EQ(fitted.fits, r.fits);
    EXPECT_EQ(fitted.font.pointSizeF() == 9, r.same);
    const QSize size = console::map_dialog_size(console::dialog_base_units(fitted.font), 567, 414);
    if (r.fits) {
      EXPECT_LE(size.width(), r.room.width());
      EXPECT_LE(size.height(), r.room.height());
    } else {
      EXPECT_EQ(fitted.font.pointSizeF(), console::kMinDialogPoints);
    }
  }
}

TEST(MainWindowLayout, HoldsExactlyTheTemplatesControls) {
  console::ConsoleView view;
  const auto& source = console::main_dialog_template();
  ASSERT_EQ(source.controls.size(), 118u);
  expect_built_from(view, source, view.controls(), console::link_panel_controls().size());
  // 567 x 414 dialog units at base units of 7 x 14 pixels (Gulim 9 pt and
  // its stand-in at 96 dpi).
  EXPECT_EQ(view.size(), QSize(992, 725));

  // A fixed frame with a close box, without minimise or maximise box.
  Qt::WindowFlags flags = view.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(view.windowTitle(), "ORVANE BASIC TAVIK V0.9");

  // The captions that end in a blank keep it.
  QStringList titles;
  for (QGroupBox* group : view.findChildren<QGroupBox*>()) titles << group->title();
  EXPECT_TRUE(titles.contains("Power Data / Configuration "));
  EXPECT_TRUE(titles.contains("Wheel Error "));
  EXPECT_TRUE(titles.contains("Link"));  // the link panel's, beside the template's nine
  EXPECT_EQ(titles.size(), 10);

  // The link panel keeps to the part of the window the template leaves empty.
  int right_edge = 0;
  for (const auto& c : view.controls()) right_edge = std::max(right_edge, c.widget->geometry().right());
  for (const auto& c : console::link_panel_controls()) {
    if (c.id == console::IDC_STATIC) continue;
    EXPECT_GT(view.control(c.id)->geometry().left(), right_edge) << c.id;
    EXPECT_LE(view.control(c.id)->geometry().right(), view.width()) << c.id;
  }

  // Write Param Value is the one field the operator types into; no button
  // is the default button.
  for (QLineEdit* edit : view.findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_EQ(edit->isReadOnly(), edit != view.control(console::IDC_WRITE_PARAM_VALUE));
  }
  for (QPushButton* button : view.findChildren<QPushButton*>()) EXPECT_FALSE(button->isDefault());
}

// A name the ports file maps shows the whole URL it leads to, on a line of
// its own when the line with the name has no room for it.
TEST(MainWindowLayout, TheLinkPanelShowsAMappedPortsWholeUrl) {
  struct Case {
    const char* shown;
    const char* url;  // on one line
  };
  const Case cases[] = {{"COM7", "COM7"},
                        {"COM7 = rfc2217://127.0.0.1:17001", "rfc2217://127.0.0.1:17001"},
                        {"COM12 = rfc2217://bench-robot-07.lab:4001", "rfc2217://bench-robot-07.lab:4001"},
                        {"COM8 = tcp://192.168.100.200:65535", "tcp://192.168.100.200:65535"}};
  console::ConsoleView view;
  for (int id : {console::IDC_LINK_PSB_PORT, console::IDC_LINK_DRVB_PORT}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << id << ": " << c.shown);
      view.SetControlText(id, c.shown);
      EXPECT_EQ(text(view, id), c.shown);
      EXPECT_EQ(console::text_overflow(view.control(id)), 0);
      auto* label = dynamic_cast<console::BlankWrappedLabel*>(view.control(id));
      ASSERT_NE(label, nullptr);
      const QStringList lines = label->lines();
      EXPECT_TRUE(lines.contains(c.url) || lines == QStringList{c.shown}) << lines.join("|").toStdString();
    }
  }
}

// Wrapped as a Windows static control wraps: at blanks, and a word wider
// than the label where the label ends.
TEST(BlankWrappedLabel, WrapsAtBlanksAndBreaksAWordTooWide) {
  const QFontMetrics metrics(QApplication::font());
  const int x = metrics.horizontalAdvance(QStringLiteral("x"));
  struct Case {
    QString text;
    int width;
    QStringList lines;
  };
  const Case cases[] = {
      {"", 10 * x, {""}},
      {"xx xx", 10 * x, {"xx xx"}},
      {"xx xx", 3 * x, {"xx", "xx"}},
      {"xxxx xx", 3 * x, {"xxx", "x", "xx"}},
      {"xx xxxxxxx", 3 * x, {"xx", "xxx", "xxx", "x"}},
      {"a:b/c-d e", 7 * x, {"a:b/c-d", "e"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString() + " in " + std::to_string(c.width));
    EXPECT_EQ(console::wrap_at_blanks(metrics, c.text, c.width), c.lines);
  }
}

TEST(MainWindowLayout, TabWalksTheControlsInTemplateOrder) {
  console::ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

  std::vector<int> expected;
  for (const ControlTemplate& c : console::main_dialog_template().controls) {
    if (c.kind != ControlKind::Label && c.kind != ControlKind::GroupBox &&
        c.kind != ControlKind::ProgressBar && c.kind != ControlKind::ReadOnlyEdit) {
      expected.push_back(c.id);
    }
  }
  ASSERT_EQ(expected.front(), console::IDC_PSB_CONNECT);
  ASSERT_EQ(expected.back(), console::IDC_LCD_OFF);

  // Disabled controls are skipped by Tab; enable everything for the walk.
  for (const BuiltControl& c : view.controls()) c.widget->setEnabled(true);
  view.control(console::IDC_PSB_CONNECT)->setFocus();
  std::vector<int> walked;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QWidget* focus = QApplication::focusWidget();
    while (focus && focus->parentWidget() != &view) focus = focus->parentWidget();
    ASSERT_NE(focus, nullptr);
    walked.push_back(focus->property("controlId").toInt());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(walked, expected);
  view.reject();
}

TEST(MainWindowLayout, FontIsTheTemplatesWithAKoreanStandIn) {
  console::ConsoleView view;
  EXPECT_EQ(view.font().family(), "굴림");
  EXPECT_EQ(view.font().pointSize(), 9);
  QFontInfo used(view.font());
  EXPECT_TRUE(QFontDatabase::writingSystems(used.family()).contains(QFontDatabase::Korean))
      << used.family().toStdString();
  QFontMetrics metrics(view.font());
  for (char32_t ch : std::u32string_view(U"확인정보버전입력값이틀렸습니다")) {
    EXPECT_TRUE(metrics.inFontUcs4(ch)) << std::hex << unsigned(ch);
  }
}

TEST(AboutBox, HoldsItsFourControls) {
  console::CAboutDlg about;
  expect_built_from(about, console::about_dialog_template(), about.controls());
  ASSERT_EQ(about.controls().size(), 4u);
  EXPECT_EQ(about.windowTitle(), "Tavik V1 Basic 정보");
  EXPECT_EQ(shown_caption(about.controls()[1].widget), "Tavik V1 Basic 버전 1.0");
  EXPECT_EQ(shown_caption(about.controls()[3].widget), "확인");
  EXPECT_EQ(about.controls()[3].widget->property("controlId").toInt(), console::IDOK);
}

TEST(AboutBox, OpensFromTheContextMenuAndF1AndClosesEveryWay) {
  console::ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  ASSERT_EQ(console::load_string(console::IDS_ABOUTBOX), "Tavik V1 Basic 정보(&A)...");

  // Each way of opening, with one way of closing.
  enum class Close { Button, Enter, Escape };
  struct Case {
    const char* name;
    std::function<void()> open;
    Close close;
  };
  QString menu_entry;
  Case cases[] = {
      {"F1", [&] { QTest::keyClick(&view, Qt::Key_F1); }, Close::Button},
      {"context menu",
       [&] {
         when_opens<QMenu>([&](QMenu* menu) {
           ASSERT_EQ(menu->actions().size(), 2);  // About, then Trends
           menu_entry = menu->actions().front()->text();
           QTest::keyClick(menu, Qt::Key_Down);
           QTest::keyClick(menu, Qt::Key_Return);
         });
         QPoint surface(view.width() - 20, view.height() - 20);  // right of every control
         QContextMenuEvent event(QContextMenuEvent::Mouse, surface, view.mapToGlobal(surface));
         QApplication::sendEvent(&view, &event);
       },
       Close::Enter},
      {"system command", [&] { view.OnSysCommand(console::IDM_ABOUTBOX | 0x2); }, Close::Escape},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool shown = false;
    when_opens<console::CAboutDlg>([&](console::CAboutDlg* about) {
      shown = true;
      if (c.close == Close::Button)
        QTest::mouseClick(about->controls()[3].widget, Qt::LeftButton);
      else
        QTest::keyClick(about, c.close == Close::Enter ? Qt::Key_Return : Qt::Key_Escape);
    });
    c.open();
    EXPECT_TRUE(wait_until([&] { return shown && !QApplication::activeModalWidget(); }));
  }
  EXPECT_EQ(menu_entry, "Tavik V1 Basic 정보(&A)...");
  // Any other system command opens nothing.
  view.OnSysCommand(0xF020);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  view.reject();
}

}  // namespace
}  // namespace tavik::test
