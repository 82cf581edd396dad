#include "app/review/view/ReviewRowDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include "app/review/view/MyTableCellView.h"
#include "app/review/view/ReviewTreeModel.h"

ReviewRowDelegate::ReviewRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), cell_(std::make_unique<MyTableCellView>()) {}

ReviewRowDelegate::~ReviewRowDelegate() = default;

void ReviewRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  opt.text.clear();
  QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

  painter->save();
  bool selected = opt.state & QStyle::State_Selected;
  QRect r = opt.rect;
  if (index.data(ReviewTreeModel::IsCategoryRole).toBool()) {
    QFont font = opt.font;
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    painter->setFont(font);
    painter->setPen(opt.palette.color(QPalette::PlaceholderText));
    // The number of findings stands at the right end of the header, the title before it.
    const QString count = QString::number(index.data(ReviewTreeModel::CountRole).toInt());
    const int countWidth = QFontMetrics(font).horizontalAdvance(count) + 12;
    const QRect badge(r.right() - countWidth - 4, r.top() + 3, countWidth, r.height() - 6);
    painter->drawText(
        r.adjusted(4, 0, -countWidth - 12, 0), Qt::AlignVCenter | Qt::AlignLeft,
        QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideRight, r.width() - countWidth - 16));
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill = opt.palette.color(QPalette::PlaceholderText);
    fill.setAlphaF(0.18);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
    painter->setPen(opt.palette.color(QPalette::Text));
    painter->drawText(badge, Qt::AlignCenter, count);
  } else {
    cell_->setFont(opt.font);
    cell_->showRow(index.data(ReviewTreeModel::PictureRole).value<QImage>(), index.data().toString(),
                   index.data(ReviewTreeModel::DescriptionRole).toString(), r.size(), opt.palette, selected);
    painter->translate(r.topLeft());
    cell_->render(painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  painter->restore();
}

QSize ReviewRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  int line = option.fontMetrics.height();
  if (index.data(ReviewTreeModel::IsCategoryRole).toBool()) return {316, line + 10};
  return {316, 2 * line + 14};
}
