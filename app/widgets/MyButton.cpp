#include "app/widgets/MyButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include "app/widgets/LowerLeftCoordinates.h"

namespace {

QFont titleFont(const QFont& base) {
  QFont font = base;
  font.setPointSizeF(12.0);
  return font;
}

}  // namespace

MyButton::MyButton(QWidget* parent) : QPushButton(parent) {
  setCursor(Qt::PointingHandCursor);
  setStyleSheet(
      "MyButton { background-color: #3584e4; border: 1px solid #1c71d8; border-radius: 5px; padding: 6px 14px; }"
      "MyButton:hover { background-color: #478fe6; }"
      "MyButton:pressed { background-color: #1c71d8; }"
      "MyButton:disabled { background-color: #8a9bb0; border-color: #7a8ba0; }");
}

void MyButton::setButtonTitle(const QString& title) {
  buttonTitle_ = title;
  setAccessibleName(title);
  updateGeometry();
  update();
}

QSize MyButton::sizeHint() const {
  const QSizeF text = QFontMetricsF(titleFont(font())).size(Qt::TextSingleLine, buttonTitle_);
  return {std::max(96, static_cast<int>(text.width()) + 32), std::max(30, static_cast<int>(text.height()) + 14)};
}

void MyButton::paintEvent(QPaintEvent* event) {
  QPushButton::paintEvent(event);
  if (buttonTitle_.isEmpty()) return;
  QPainter painter(this);
  const QFont font = titleFont(this->font());
  painter.setFont(font);
  painter.setPen(Qt::white);
  const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, buttonTitle_);
  const QRectF frame((width() - size.width()) * 0.5, (height() - size.height()) * 0.5, size.width(), size.height());
  painter.drawText(LowerLeftCoordinates::toWidget(frame, height()), Qt::AlignLeft | Qt::AlignTop, buttonTitle_);
}
