#pragma once

#include <QLabel>
#include <QWidget>

// A row view that draws nothing itself; its text field draws the row's text.
class MyTableCellView : public QWidget {
  Q_OBJECT

 public:
  explicit MyTableCellView(QWidget* parent = nullptr);

  QLabel* myTextField() const { return myTextField_; }

 private:
  QLabel* myTextField_;
};
