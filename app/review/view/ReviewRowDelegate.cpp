#include "app/review/view/ReviewRowDelegate.h"

#include <QApplication>
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
    painter->drawText(r.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, index.data().toString());
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
