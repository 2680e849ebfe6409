// A label of more than one line that wraps its text as a Windows static
// control does: at blanks only, and a word wider than the label where the
// label ends (Qt's own word wrap also breaks after ':', '/' or '-', inside a
// URL).
#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace tavik::console {

// The lines `text` takes in `width` pixels of `metrics`' font.
QStringList wrap_at_blanks(const QFontMetrics& metrics, const QString& text, int width);

class BlankWrappedLabel : public QLabel {
 public:
  using QLabel::QLabel;

  // The lines it shows.
  QStringList lines() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavik::console
