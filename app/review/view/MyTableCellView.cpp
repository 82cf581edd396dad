#include "app/review/view/MyTableCellView.h"

#include <QGuiApplication>

MyTableCellView::MyTableCellView(QWidget* parent)
    : QWidget(parent), imageView_(new QLabel(this)), myTextField_(new QLabel(this)), textField_(new QLabel(this)) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_NoSystemBackground);
  QFont bold = myTextField_->font();
  bold.setBold(true);
  myTextField_->setFont(bold);
  for (QLabel* label : {myTextField_, textField_}) {
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  imageView_->setAlignment(Qt::AlignCenter);
}

void MyTableCellView::showRow(const QImage& picture, const QString& name, const QString& description, const QSize& size,
                              const QPalette& palette, bool selected) {
  resize(size);
  const int side = std::max(0, size.height() - 8);
  imageView_->setGeometry(4, 4, side, side);
  imageView_->setPixmap(
      picture.isNull() ? QPixmap()
                       : QPixmap::fromImage(picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)));

  const int left = side + 12;
  const int width = std::max(0, size.width() - left - 4);
  const int half = std::max(0, (size.height() - 8) / 2);
  myTextField_->setGeometry(left, 4, width, half);
  textField_->setGeometry(left, 4 + half, width, half);

  QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  QColor faint = text;
  faint.setAlphaF(0.65);
  QPalette namePalette = palette;
  namePalette.setColor(QPalette::WindowText, text);
  myTextField_->setPalette(namePalette);
  QPalette descriptionPalette = palette;
  descriptionPalette.setColor(QPalette::WindowText, faint);
  textField_->setPalette(descriptionPalette);
  // The rows line up by the application's direction, whatever the direction of a name's own text
  // (a Hebrew or Arabic name in an English window starts at the left like the others); each text
  // is still laid out in its own direction.
  const Qt::Alignment along = (QGuiApplication::layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) |
                              Qt::AlignAbsolute | Qt::AlignVCenter;
  myTextField_->setAlignment(along);
  textField_->setAlignment(along);
  myTextField_->setText(myTextField_->fontMetrics().elidedText(name, Qt::ElideRight, width));
  textField_->setText(textField_->fontMetrics().elidedText(description, Qt::ElideRight, width));
}
