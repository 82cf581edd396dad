// Renders the application's scalable icon into the PNG sizes of the hicolor icon theme:
// rolvane_make_icons ICON.svg DIR NAME SIZE... writes DIR/SIZExSIZE/apps/NAME.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 5) {
    std::fprintf(stderr, "usage: rolvane_make_icons ICON.svg DIR NAME SIZE...\n");
    return 2;
  }
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "rolvane_make_icons: cannot read %s\n", argv[1]);
    return 1;
  }
  const QDir root(QString::fromLocal8Bit(argv[2]));
  const QString name = QString::fromLocal8Bit(argv[3]);
  for (int i = 4; i < argc; ++i) {
    const int size = QString::fromLocal8Bit(argv[i]).toInt();
    if (size <= 0) {
      std::fprintf(stderr, "rolvane_make_icons: bad size %s\n", argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    const QString folder = QString("%1x%1/apps").arg(size);
    if (!root.mkpath(folder) || !image.save(root.filePath(folder + "/" + name + ".png"))) {
      std::fprintf(stderr, "rolvane_make_icons: cannot write the %d pixel icon\n", size);
      return 1;
    }
  }
  return 0;
}
