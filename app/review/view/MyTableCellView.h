#pragma once

#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QWidget>

// The cell of a contact row in the review outline: picture, name (myTextField) and the category's
// description. It draws nothing itself; its three subviews draw. The outline's delegate fills one
// cell per row it paints and renders it into the row.
class MyTableCellView : public QWidget {
  Q_OBJECT

 public:
  explicit MyTableCellView(QWidget* parent = nullptr);

  QLabel* imageView() const { return imageView_; }
  QLabel* myTextField() const { return myTextField_; }
  QLabel* textField() const { return textField_; }

  // Fills the cell for a row of the given size; text colours come from the palette given.
  void showRow(const QImage& picture, const QString& name, const QString& description, const QSize& size,
               const QPalette& palette, bool selected);

 private:
  QLabel* imageView_;
  QLabel* myTextField_;
  QLabel* textField_;
};
