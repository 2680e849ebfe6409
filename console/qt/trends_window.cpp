#include "console/qt/trends_window.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/core/trend_csv.h"
#include "console/qt/trend_plot_view.h"

namespace tavik::console {
namespace {

// As often as the main window applies its read-outs.
constexpr int kRefreshMs = 250;
// The time axis moves on at least this often while nothing new comes.
constexpr qint64 kIdleRedrawMs = 1000;

const QString kPointAt = QStringLiteral("Point at a plot to read its values.");

}  // namespace

TrendsWindow::TrendsWindow(const TrendHistory& history, QWidget* parent)
    : QDialog(parent, Qt::Window), history_(history) {
  setWindowTitle(QStringLiteral("Trends"));
  setModal(false);
  freeze_ = new QPushButton(QStringLiteral("Freeze"), this);
  save_ = new QPushButton(QStringLiteral("Save CSV…"), this);
  for (QPushButton* b : {freeze_, save_}) b->setAutoDefault(false);
  plots_ = new TrendPlotView(this);
  values_ = new QLabel(kPointAt, this);
  values_->setTextFormat(Qt::PlainText);
  values_->setMinimumHeight(4 * fontMetrics().lineSpacing() + 4);
  values_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(freeze_);
  buttons->addWidget(save_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(plots_, 1);
  layout->addWidget(values_);
  resize(900, 680);

  connect(freeze_, &QPushButton::clicked, this, [this] { set_frozen(!frozen_); });
  connect(save_, &QPushButton::clicked, this, &TrendsWindow::ask_and_save);
  connect(plots_, &TrendPlotView::hovered, this, &TrendsWindow::show_values);
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &TrendsWindow::refresh);
}

void TrendsWindow::refresh() {
  if (frozen_) return;
  const std::uint64_t version = history_.version();
  if (version == version_ && since_snapshot_.isValid() && since_snapshot_.elapsed() < kIdleRedrawMs) return;
  version_ = version;
  since_snapshot_.start();
  plots_->show_snapshot(history_.snapshot());
}

void TrendsWindow::set_frozen(bool frozen) {
  frozen_ = frozen;
  freeze_->setText(frozen ? QStringLiteral("Resume") : QStringLiteral("Freeze"));
  if (!frozen) {
    version_ = ~std::uint64_t{0};
    refresh();
  }
}

bool TrendsWindow::save_csv(const QString& path, QString* why) const {
  QFile file(path);
  const std::string csv = trends_csv(plots_->snapshot());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) ||
      file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) || !file.flush()) {
    if (why) *why = file.errorString();
    return false;
  }
  return true;
}

void TrendsWindow::ask_and_save() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save CSV"), QStringLiteral("trends.csv"),
                                                    QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  QString why;
  if (!save_csv(path, &why)) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot write %1: %2").arg(path, why));
  }
}

void TrendsWindow::show_values(const QString& text) { values_->setText(text.isEmpty() ? kPointAt : text); }

void TrendsWindow::showEvent(QShowEvent* event) {
  version_ = ~std::uint64_t{0};
  refresh();
  timer_.start();
  QDialog::showEvent(event);
}

void TrendsWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QDialog::hideEvent(event);
}

}  // namespace tavik::console
