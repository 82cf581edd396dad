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
  // Under a light scheme the preview sits on its own light paper with black text; under a dark
  // scheme it takes the scheme's base and text colours, so its text always stands out.
  const bool dark = palette().color(QPalette::Base).lightness() < 128;
  QPixmap background(QString(":/images/") + FixPreview::backgroundImage);
  const bool paper = !dark && !background.isNull();
  if (paper)
    painter.fillRect(rect(), QBrush(background));
  else
    painter.fillRect(rect(), palette().color(QPalette::Base));
  const QColor text = paper ? QColor(0, 0, 0) : palette().color(QPalette::Text);
  const double height = FixPreview::documentHeight;
  for (const auto& item : preview_.texts) {
    QColor colour = text;
    if (item.colour == PreviewText::Colour::Red) colour = dark ? QColor(248, 113, 113) : QColor(220, 38, 38);
    colour.setAlphaF(item.alpha);
    painter.setPen(colour);
    // The preview's frames have their origin at the lower left.
    QRectF frame(item.x, height - item.y - item.height, item.width, item.height);
    painter.drawText(frame, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(item.text));
  }
}
