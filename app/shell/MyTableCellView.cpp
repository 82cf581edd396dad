#include "app/shell/MyTableCellView.h"

#include <QHBoxLayout>

MyTableCellView::MyTableCellView(QWidget* parent) : QWidget(parent), myTextField_(new QLabel(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(myTextField_);
}
