// Draws the application's images into a folder: rolvane_make_images DIR.
// Colours follow the usual light desktop palette (a slate header, white and grey surfaces, a blue accent).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kSlateTop(0x3b, 0x4a, 0x5c);
const QColor kSlateBottom(0x2c, 0x38, 0x47);
const QColor kAccent(0x35, 0x84, 0xe4);

QImage canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QImage topBackGround() {
  QImage image = canvas(1200, 64);
  QPainter p(&image);
  QLinearGradient fill(0, 0, 0, 64);
  fill.setColorAt(0, kSlateTop);
  fill.setColorAt(1, kSlateBottom);
  p.fillRect(image.rect(), fill);
  p.fillRect(QRect(0, 63, 1200, 1), QColor(0, 0, 0, 90));
  p.fillRect(QRect(0, 0, 1200, 1), QColor(255, 255, 255, 40));
  return image;
}

QImage downBG() {
  QImage image = canvas(1200, 48);
  QPainter p(&image);
  QLinearGradient fill(0, 0, 0, 48);
  fill.setColorAt(0, QColor(0xf6, 0xf5, 0xf4));
  fill.setColorAt(1, QColor(0xde, 0xdd, 0xda));
  p.fillRect(image.rect(), fill);
  p.fillRect(QRect(0, 0, 1200, 1), QColor(0xc0, 0xbf, 0xbc));
  return image;
}

QImage bigHead() {
  QImage image = canvas(128, 128);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient disc(64, 50, 90);
  disc.setColorAt(0, QColor(0xc6, 0xd4, 0xe4));
  disc.setColorAt(1, QColor(0x8f, 0xa4, 0xbd));
  p.setPen(Qt::NoPen);
  p.setBrush(disc);
  p.drawEllipse(QRectF(2, 2, 124, 124));
  QPainterPath clip;
  clip.addEllipse(QRectF(2, 2, 124, 124));
  p.setClipPath(clip);
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawEllipse(QRectF(40, 24, 48, 52));
  p.drawEllipse(QRectF(16, 82, 96, 80));
  return image;
}

QImage tipsView() {
  QImage image = canvas(360, 220);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0xc0, 0xbf, 0xbc), 2, Qt::DashLine));
  p.setBrush(QColor(0xfa, 0xfa, 0xfa));
  p.drawRoundedRect(QRectF(4, 4, 352, 212), 14, 14);
  // An arrow pointing at the outline on the left.
  p.setPen(QPen(kAccent, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(120, 70), QPointF(40, 70));
  p.drawLine(QPointF(40, 70), QPointF(62, 50));
  p.drawLine(QPointF(40, 70), QPointF(62, 90));
  QImage head = bigHead().scaledToWidth(56, Qt::SmoothTransformation);
  p.drawImage(QPointF(150, 42), head);
  p.setPen(QColor(0x24, 0x1f, 0x31));
  QFont title("DejaVu Sans", 13, QFont::Bold);
  p.setFont(title);
  p.drawText(QRectF(20, 118, 320, 26), Qt::AlignCenter, "Select a contact");
  QFont body("DejaVu Sans", 10);
  p.setFont(body);
  p.setPen(QColor(0x5e, 0x5c, 0x64));
  p.drawText(QRectF(24, 146, 312, 60), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
             "Choose a contact in the list to see its problem, the ways to fix it and a preview "
             "of the result.");
  return image;
}

QImage color() {
  QImage image = canvas(64, 64);
  QPainter p(&image);
  p.fillRect(image.rect(), QColor(0xfd, 0xfd, 0xfb));
  p.setPen(QColor(0xee, 0xee, 0xea));
  for (int y = 15; y < 64; y += 16) p.drawLine(0, y, 63, y);
  return image;
}

QImage appIcon() {
  QImage image = canvas(128, 128);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  QLinearGradient card(0, 8, 0, 120);
  card.setColorAt(0, QColor(0x62, 0xa0, 0xea));
  card.setColorAt(1, QColor(0x1c, 0x71, 0xd8));
  p.setBrush(card);
  p.drawRoundedRect(QRectF(8, 8, 112, 112), 22, 22);
  p.setBrush(QColor(255, 255, 255, 240));
  p.drawEllipse(QRectF(26, 30, 32, 34));
  p.drawRoundedRect(QRectF(18, 68, 48, 32), 14, 14);
  p.setPen(QPen(QColor(255, 255, 255, 240), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(72, 66), QPointF(84, 80));
  p.drawLine(QPointF(84, 80), QPointF(106, 46));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: rolvane_make_images DIR\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  const std::pair<const char*, QImage> images[] = {{"topBackGround.png", topBackGround()},
                                                   {"downBG.png", downBG()},
                                                   {"tipsView.png", tipsView()},
                                                   {"BigHead.png", bigHead()},
                                                   {"color.png", color()},
                                                   {"rolvane.png", appIcon()}};
  for (const auto& [name, image] : images) {
    if (!image.save(dir.filePath(name))) {
      std::fprintf(stderr, "rolvane_make_images: cannot write %s\n", qPrintable(dir.filePath(name)));
      return 1;
    }
  }
  return 0;
}
