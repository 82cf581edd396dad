#include "app/widgets/MyView.h"

#include <QPainter>

#include "app/widgets/LowerLeftCoordinates.h"

MyView::MyView(QWidget* parent) : QWidget(parent) {
  // Drawn into its own backing image, as a layer would be.
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void MyView::setImage(const QImage& image) {
  image_ = image;
  updateGeometry();
  update();
}

void MyView::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QSizeF size = image_.deviceIndependentSize();
  const QRectF frame((width() - size.width()) * 0.5, (height() - size.height()) * 0.5, size.width(), size.height());
  painter.drawImage(LowerLeftCoordinates::toWidget(frame, height()), image_);
}
