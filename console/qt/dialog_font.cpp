#include "console/qt/dialog_font.h"

#include <QStringList>

#include "console/qt/utf8_text.h"

namespace tavik::console {

void install_dialog_font_substitutes() {
  // Gothic (sans-serif) Korean faces, closest to Gulim first. fonts-nanum
  // provides the first; the others cover systems set up differently.
  const QStringList stand_ins = {QStringLiteral("NanumGothic"),      QStringLiteral("NanumBarunGothic"),
                                 QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"),
                                 QStringLiteral("UnDotum"),          QStringLiteral("Baekmuk Gulim")};
  QFont::insertSubstitutions(QStringLiteral("굴림"), stand_ins);
  QFont::insertSubstitutions(QStringLiteral("Gulim"), stand_ins);
}

QFont dialog_font(std::string_view face, int points) {
  QFont font(from_utf8(face), points, QFont::Normal, false);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace tavik::console
