// Build tool: the console's icons for the icon theme's folders.
//
//   make_icon xpm IN.xpm OUT.png SIZE   one of the window's XPM images as PNG,
//                                       checked to have the size of its folder
//   make_icon png OUT.png SIZE          the drawing below, SIZE pixels square
//   make_icon svg OUT.svg               the same drawing as a scalable image
//
// The drawing is the window's icon redrawn smoothly: the robot base seen from
// above, a navy body on black wheels, its front rim red, its rear rim silver,
// a yellow arrow pointing ahead. It is a list of filled polygons and circles
// on a 32-unit square, painted with QPainter for PNG and written out as SVG,
// so both images show the same shapes.
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kUnits = 32;

struct Shape {
  const char* colour;
  std::vector<QPointF> polygon;  // empty for a circle
  QPointF centre{};
  double radius = 0;
};

// The part of the circle around (16, 16) with radius r that lies above y
// (above: front), as a polygon along its arc.
std::vector<QPointF> segment_above(double r, double y) {
  const double half_angle = std::acos((16 - y) / r);
  std::vector<QPointF> points;
  constexpr int kSteps = 32;
  for (int i = 0; i <= kSteps; ++i) {
    const double a = -std::numbers::pi / 2 - half_angle + 2 * half_angle * i / kSteps;
    points.emplace_back(16 + r * std::cos(a), 16 + r * std::sin(a));
  }
  return points;
}

std::vector<Shape> drawing() {
  return {
      {"#000000", {{0, 9}, {3.5, 9}, {3.5, 23}, {0, 23}}},
      {"#000000", {{28.5, 9}, {32, 9}, {32, 23}, {28.5, 23}}},
      {"#C0C0C0", {}, {16, 16}, 14},
      {"#FF0000", segment_above(14, 10.5)},
      {"#000080", {}, {16, 16}, 12},
      {"#FFFF00", {{16, 6.5}, {22.5, 12.5}, {18.2, 12.5}, {18.2, 24}, {13.8, 24}, {13.8, 12.5}, {9.5, 12.5}}},
  };
}

int write_png(const char* out, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kUnits, size / kUnits);
  painter.setPen(Qt::NoPen);
  for (const Shape& s : drawing()) {
    painter.setBrush(QColor(QString::fromLatin1(s.colour)));
    if (s.polygon.empty()) {
      painter.drawEllipse(s.centre, s.radius, s.radius);
    } else {
      painter.drawPolygon(s.polygon.data(), static_cast<int>(s.polygon.size()));
    }
  }
  painter.end();
  if (!image.save(QString::fromLocal8Bit(out), "PNG")) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", out);
    return 1;
  }
  return 0;
}

int write_svg(const char* out) {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 32 32\">\n";
  char text[64];
  for (const Shape& s : drawing()) {
    if (s.polygon.empty()) {
      std::snprintf(text, sizeof text, "  <circle cx=\"%g\" cy=\"%g\" r=\"%g\"", s.centre.x(), s.centre.y(),
                    s.radius);
      svg += text;
    } else {
      svg += "  <polygon points=\"";
      for (std::size_t i = 0; i < s.polygon.size(); ++i) {
        std::snprintf(text, sizeof text, "%s%.3f,%.3f", i == 0 ? "" : " ", s.polygon[i].x(),
                      s.polygon[i].y());
        svg += text;
      }
      svg += "\"";
    }
    svg += std::string(" fill=\"") + s.colour + "\"/>\n";
  }
  svg += "</svg>\n";
  QFile file(QString::fromLocal8Bit(out));
  if (!file.open(QIODevice::WriteOnly) || file.write(svg.data(), qint64(svg.size())) != qint64(svg.size())) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", out);
    return 1;
  }
  return 0;
}

int convert_xpm(const char* in, const char* out, int size) {
  const QImage image(QString::fromLocal8Bit(in), "XPM");
  if (image.isNull()) {
    std::fprintf(stderr, "make_icon: cannot read %s\n", in);
    return 1;
  }
  if (image.width() != size || image.height() != size) {
    std::fprintf(stderr, "make_icon: %s is %dx%d, not %dx%d\n", in, image.width(), image.height(), size,
                 size);
    return 1;
  }
  if (!image.save(QString::fromLocal8Bit(out), "PNG")) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", out);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "xpm" && argc == 5) return convert_xpm(argv[2], argv[3], std::atoi(argv[4]));
  if (mode == "png" && argc == 4 && std::atoi(argv[3]) > 0) return write_png(argv[2], std::atoi(argv[3]));
  if (mode == "svg" && argc == 3) return write_svg(argv[2]);
  std::fprintf(stderr, "usage: make_icon xpm IN.xpm OUT.png SIZE | png OUT.png SIZE | svg OUT.svg\n");
  return 2;
}
