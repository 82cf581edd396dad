#include "app/widgets/BackGroundView.h"

#include <QLinearGradient>
#include <QPainter>

namespace {

bool isDark(const QColor& colour) {
  return colour.lightness() < 128;
}

}  // namespace

void BackGroundView::setImage(const QImage& image) {
  image_ = image;
  // The image's own brightness, read once from its middle row.
  imageIsLight_ = false;
  if (!image_.isNull()) {
    const int y = image_.height() / 2;
    int sum = 0, samples = 0;
    for (int x = 0; x < image_.width(); x += std::max(1, image_.width() / 16)) {
      sum += image_.pixelColor(x, y).lightness();
      ++samples;
    }
    imageIsLight_ = samples > 0 && sum / samples >= 128;
  }
  update();
}

bool BackGroundView::drawsImage() const {
  // A light image under a dark colour scheme would leave a light bar among dark views.
  return !image_.isNull() && !(imageIsLight_ && isDark(palette().color(QPalette::Window)));
}

void BackGroundView::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (drawsImage()) {
    painter.drawImage(QRectF(rect()), image_);
    return;
  }
  const QColor window = palette().color(QPalette::Window);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0, window.lighter(125));
  gradient.setColorAt(1, window.lighter(105));
  painter.fillRect(rect(), gradient);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, 0, width(), 0);
}
