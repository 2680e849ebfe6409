// The Trends window: the last two minutes of battery voltage and current,
// wheel speeds and ranges as the pollers read them, redrawn four times a
// second while it is shown and the history grows. Freeze holds the picture
// (the history goes on filling); "Save CSV…" writes what the window holds.
// Non-modal; Esc closes it.
#pragma once

#include <QDialog>
#include <QTimer>

#include "console/core/trend_history.h"

class QLabel;
class QPushButton;

namespace tavik::console {

class TrendPlotView;

class TrendsWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TrendsWindow(const TrendHistory& history, QWidget* parent = nullptr);

  // Takes a new snapshot when one is due (always with `force`) and the
  // window is not frozen.
  void refresh(bool force = false);
  void set_frozen(bool frozen);
  bool frozen() const { return frozen_; }
  // Writes the snapshot shown as CSV; false with `why` set when it could not.
  bool save_csv(const QString& path, QString* why = nullptr) const;

  TrendPlotView& plots() { return *plots_; }
  QPushButton& freeze_button() { return *freeze_; }
  QLabel& values_label() { return *values_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ask_and_save();
  void show_values(const QString& text);

  TrendFollower follower_;
  TrendPlotView* plots_;
  QPushButton* freeze_;
  QPushButton* save_;
  QLabel* values_;
  QTimer timer_;
  bool frozen_ = false;
};

}  // namespace tavik::console
