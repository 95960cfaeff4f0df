// Renders the application's SVG icon to a square PNG of the given size, for the icon theme
// sizes of the package. Built only for packaging; the tool itself draws the SVG at run time.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render-icon ICON.svg SIZE OUT.png\n");
    return 2;
  }
  // The icon has text, and text needs the font database of a GUI application; rendering
  // needs no display, so the build machine need not have one.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  char* end = nullptr;
  const long size = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || size < 16 || size > 1024) {
    std::fprintf(stderr, "render-icon: size must be 16..1024: %s\n", argv[2]);
    return 2;
  }
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  if (!svg.isValid()) {
    std::fprintf(stderr, "render-icon: cannot read %s\n", argv[1]);
    return 1;
  }
  QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  svg.render(&painter);
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
