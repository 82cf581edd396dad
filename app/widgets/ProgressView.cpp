#include "app/widgets/ProgressView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "app/widgets/LowerLeftCoordinates.h"

ProgressView::ProgressView(QWidget* parent) : QWidget(parent) {}

void ProgressView::setProgress(double progress) {
  progress_ = progress;
  update();
}

void ProgressView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double width = this->width();
  const double height = this->height();

  QFont font = this->font();
  font.setBold(true);
  font.setPointSizeF(14.0);
  painter.setFont(font);
  const QString text = QString::fromUtf8(kWaitingText);
  const QSizeF textSize = QFontMetricsF(font).size(Qt::TextSingleLine, text);
  const QRectF textFrame((width - textSize.width()) * 0.5, height * 0.5 + 40.0, textSize.width(), textSize.height());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(LowerLeftCoordinates::toWidget(textFrame, height), Qt::AlignLeft | Qt::AlignTop, text);

  const QPointF centre = LowerLeftCoordinates::toWidget(QPointF(width * 0.5, height * 0.5 - 10.0), height);
  const QRectF dial(centre.x() - kRadius, centre.y() - kRadius, 2 * kRadius, 2 * kRadius);
  painter.setPen(QPen(QColor(128, 128, 128), 10.0));
  painter.drawEllipse(dial);

  if (sharpe_ != QLatin1String("Arc")) return;
  // Qt measures arc angles counter-clockwise from three o'clock as seen on screen, which is the
  // same direction as counter-clockwise with y growing upwards.
  // Counter-clockwise from the start to the end angle, so an end below the start goes the long
  // way round; angles a whole turn apart draw the full circle.
  const double start = std::fmod(startAngle_, 360.0);
  double span = std::fmod(endAngle_ - startAngle_, 360.0);
  if (span < 0) span += 360.0;
  if (span == 0 && endAngle_ != startAngle_) span = 360.0;
  // The arc in the text colour: black under a light scheme, light under a dark one.
  painter.setPen(QPen(palette().color(QPalette::WindowText), 8.0, Qt::SolidLine, Qt::FlatCap));
  painter.drawArc(dial, static_cast<int>(std::lround(start * 16.0)), static_cast<int>(std::lround(span * 16.0)));
}
