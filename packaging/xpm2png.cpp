// Build tool: converts one of the console's XPM icons to PNG for the icon
// theme's folders, checking that it has the size of its folder.
//
//   xpm2png IN.xpm OUT.png SIZE
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: xpm2png IN.xpm OUT.png SIZE\n");
    return 2;
  }
  const QImage image(QString::fromLocal8Bit(argv[1]), "XPM");
  if (image.isNull()) {
    std::fprintf(stderr, "xpm2png: cannot read %s\n", argv[1]);
    return 1;
  }
  const int size = std::atoi(argv[3]);
  if (image.width() != size || image.height() != size) {
    std::fprintf(stderr, "xpm2png: %s is %dx%d, not %dx%d\n", argv[1], image.width(), image.height(), size,
                 size);
    return 1;
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "xpm2png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
