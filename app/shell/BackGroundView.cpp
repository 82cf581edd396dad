#include "app/shell/BackGroundView.h"

#include <QPainter>

void BackGroundView::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.drawImage(QRectF(rect()), image_);
}
