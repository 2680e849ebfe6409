#include "console/qt/trends_window.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <chrono>

#include "console/core/trend_csv.h"
#include "console/qt/trend_plot_view.h"

namespace tavik::console {
namespace {

const QString kPointAt = QStringLiteral("Point at a plot to read its values.");

}  // namespace

TrendsWindow::TrendsWindow(const TrendHistory& history, QWidget* parent)
    : QDialog(parent, Qt::Window), follower_(history) {
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
  timer_.setInterval(TrendFollower::kRefresh);
  connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
}

void TrendsWindow::refresh(bool force) {
  if (frozen_) return;
  if (std::optional<TrendSnapshot> snapshot = follower_.take(force)) plots_->show_snapshot(*snapshot);
}

void TrendsWindow::set_frozen(bool frozen) {
  frozen_ = frozen;
  freeze_->setText(frozen ? QStringLiteral("Resume") : QStringLiteral("Freeze"));
  if (!frozen) refresh(true);
}

bool TrendsWindow::save_csv(const QString& path, QString* why) const {
  QFile file(path);
  const std::string csv = trends_csv(plots_->snapshot());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) ||
      file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
      !file.flush()) {
    if (why) *why = file.errorString();
    return false;
  }
  return true;
}

void TrendsWindow::ask_and_save() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Save CSV"),
      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/" +
          QString::fromStdString(trends_csv_file_name(std::chrono::system_clock::now())),
      QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  QString why;
  if (!save_csv(path, &why)) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot write %1: %2").arg(path, why));
  }
}

void TrendsWindow::show_values(const QString& text) { values_->setText(text.isEmpty() ? kPointAt : text); }

void TrendsWindow::showEvent(QShowEvent* event) {
  refresh(true);
  timer_.start();
  QDialog::showEvent(event);
}

void TrendsWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QDialog::hideEvent(event);
}

}  // namespace tavik::console
