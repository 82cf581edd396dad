#pragma once

#include <QStyledItemDelegate>
#include <memory>

class MyTableCellView;

// Draws a category row as its title in capitals and a contact row through a MyTableCellView:
// picture, name and the category's description. Only the rows on screen are drawn, so one cell
// serves them all.
class ReviewRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit ReviewRowDelegate(QObject* parent = nullptr);
  ~ReviewRowDelegate() override;
  MyTableCellView* cell() const { return cell_.get(); }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  std::unique_ptr<MyTableCellView> cell_;
};
