#pragma once

#include <QWidget>

class ABAddressBook;
class QLabel;

// The area of the browser screen below the top bar. It tells how many contacts the store holds
// and, when it holds none, how to get contacts in.
class BrowserArea : public QWidget {
  Q_OBJECT

 public:
  BrowserArea(ABAddressBook& book, QWidget* parent = nullptr);

  // Reads the store again.
  void loadPersonInAddressBook();
  QLabel* statusText() const { return status_; }

 signals:
  void loaded();

 private:
  ABAddressBook& book_;
  QLabel* status_;
};
