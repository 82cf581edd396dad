#include "app/review/view/ReviewRowDelegate.h"

#include <QApplication>
#include <QPainter>

#include "app/review/view/ReviewTreeModel.h"

void ReviewRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  opt.text.clear();
  QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

  painter->save();
  bool selected = opt.state & QStyle::State_Selected;
  QColor text = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  QRect r = opt.rect;
  if (index.data(ReviewTreeModel::IsCategoryRole).toBool()) {
    QFont font = opt.font;
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    painter->setFont(font);
    painter->setPen(opt.palette.color(QPalette::PlaceholderText));
    painter->drawText(r.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, index.data().toString());
  } else {
    QImage picture = index.data(ReviewTreeModel::PictureRole).value<QImage>();
    int side = r.height() - 8;
    QRect pictureRect(r.left() + 4, r.top() + 4, side, side);
    if (!picture.isNull())
      painter->drawImage(pictureRect, picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QRect textRect = r.adjusted(side + 12, 4, -4, -4);
    QFont nameFont = opt.font;
    nameFont.setBold(true);
    painter->setFont(nameFont);
    painter->setPen(text);
    painter->drawText(textRect, Qt::AlignTop | Qt::AlignLeft, index.data().toString());
    painter->setFont(opt.font);
    QColor faint = text;
    faint.setAlphaF(0.65);
    painter->setPen(faint);
    painter->drawText(textRect, Qt::AlignBottom | Qt::AlignLeft,
                      index.data(ReviewTreeModel::DescriptionRole).toString());
  }
  painter->restore();
}

QSize ReviewRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  int line = option.fontMetrics.height();
  if (index.data(ReviewTreeModel::IsCategoryRole).toBool()) return {316, line + 10};
  return {316, 2 * line + 14};
}
