#include "console/qt/console_app.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPixmap>
#include <cstdio>
#include <string>
#include <vector>

#include "console/qt/app_icon.h"
#include "console/qt/console_view.h"
#include "console/qt/dialog_builder.h"
#include "console/qt/dialog_font.h"
#include "console/qt/remembered_ports.h"
#include "console/qt/termination_signals.h"
#include "console/qt/text_fit.h"
#include "console/res/dialog_template.h"
#include "console/res/version_info.h"

namespace tavik::console {

void CConsoleApp::SetUpToolkit() {
  QApplication::setApplicationName(QStringLiteral("Tavik V1 Basic"));
  QApplication::setApplicationVersion(QString::fromUtf8(version::kFileVersion.data()));
  QApplication::setDesktopFileName(QStringLiteral("tavik-v1-basic"));
  QApplication::setWindowIcon(app_icon());
  install_dialog_font_substitutes();
  const DialogTemplate& main = main_dialog_template();
  QApplication::setFont(dialog_font(main.font_face, main.font_points));
}

int CConsoleApp::InitInstance(const Options& options) {
  SetUpToolkit();
  ConsoleView dialog;
  if (!options.screenshot.isEmpty()) {
    QObject::connect(&dialog, &QDialog::finished, &dialog, [&dialog, &options] {
      if (!dialog.grab().save(options.screenshot)) {
        std::fprintf(stderr, "cannot write %s\n", options.screenshot.toLocal8Bit().constData());
      }
      // The Trends window, when it was open, beside it as NAME-trends.png.
      if (dialog.trends_open_at_close()) {
        const QFileInfo main(options.screenshot);
        const QString path =
            main.dir().filePath(main.completeBaseName() + QStringLiteral("-trends.") + main.suffix());
        if (!dialog.trends()->grab().save(path))
          std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
      }
    });
  }
  const auto termination = close_on_termination_signals(dialog);
  dialog.exec();
  return 0;
}

void CConsoleApp::PrintLayout() {
  SetUpToolkit();
  // The window as it opens, its lists filled; a text still cut after
  // fit_texts is a line "cut ID PIXELS".
  keep_remembered_ports(false);
  ConsoleView view;
  for (const BuiltControl& c : view.controls()) {
    if (c.source->id < 0) continue;
    QRect r = c.widget->geometry();
    std::printf("%d %d %d %d %d\n", c.source->id, r.x(), r.y(), r.width(), r.height());
  }
  for (const std::vector<BuiltControl>* controls : {&view.controls(), &view.link_controls()}) {
    for (const BuiltControl& c : *controls) {
      if (const int cut = text_overflow(c.widget)) std::printf("cut %d %d\n", c.source->id, cut);
    }
  }
  // Two controls, neither a group box, that cover each other: a line
  // "overlap A B", each an ID or, for a fixed label, its caption in quotes.
  std::vector<const BuiltControl*> solid;
  for (const std::vector<BuiltControl>* controls : {&view.controls(), &view.link_controls()}) {
    for (const BuiltControl& c : *controls) {
      if (!qobject_cast<QGroupBox*>(c.widget)) solid.push_back(&c);
    }
  }
  const auto name = [](const BuiltControl& c) {
    return c.source->id >= 0 ? std::to_string(c.source->id) : '"' + std::string(c.source->caption) + '"';
  };
  for (std::size_t i = 0; i < solid.size(); ++i) {
    for (std::size_t j = i + 1; j < solid.size(); ++j) {
      if (solid[i]->widget->geometry().intersects(solid[j]->widget->geometry())) {
        std::printf("overlap %s %s\n", name(*solid[i]).c_str(), name(*solid[j]).c_str());
      }
    }
  }
  // A window that scrolls its controls: "scroll X Y", how far they move.
  if (const QPoint range = view.scroll_range(); !range.isNull())
    std::printf("scroll %d %d\n", range.x(), range.y());
  std::printf("window 0 0 %d %d\n", view.width(), view.height());
  std::fflush(stdout);
}

}  // namespace tavik::console
