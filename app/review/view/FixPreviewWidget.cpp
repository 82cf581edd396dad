#include "app/review/view/FixPreviewWidget.h"

#include <QPainter>

FixPreviewWidget::FixPreviewWidget(QWidget* parent) : QWidget(parent) {
  setMinimumSize(static_cast<int>(FixPreview::documentWidth), static_cast<int>(FixPreview::documentHeight));
}

void FixPreviewWidget::setPreview(FixPreview preview) {
  preview_ = std::move(preview);
  update();
}

QSize FixPreviewWidget::sizeHint() const {
  return {static_cast<int>(FixPreview::documentWidth) + 80, static_cast<int>(FixPreview::documentHeight)};
}

void FixPreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QPixmap background(QString(":/images/") + FixPreview::backgroundImage);
  if (!background.isNull())
    painter.fillRect(rect(), QBrush(background));
  else
    painter.fillRect(rect(), palette().color(QPalette::Base));
  const double height = FixPreview::documentHeight;
  for (const auto& item : preview_.texts) {
    QColor colour = palette().color(QPalette::Text);
    if (item.colour == PreviewText::Colour::Black) colour = QColor(0, 0, 0);
    if (item.colour == PreviewText::Colour::Red) colour = QColor(220, 38, 38);
    colour.setAlphaF(item.alpha);
    painter.setPen(colour);
    // The preview's frames have their origin at the lower left.
    QRectF frame(item.x, height - item.y - item.height, item.width, item.height);
    painter.drawText(frame, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(item.text));
  }
}
