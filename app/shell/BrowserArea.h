#pragma once

#include <QWidget>

class ABAddressBook;
class QLabel;
class QPushButton;

// The area of the browser screen below the top bar. It tells how many contacts the store holds
// and, when it holds none, how to get contacts in: importing vCard files or trying the sample.
class BrowserArea : public QWidget {
  Q_OBJECT

 public:
  BrowserArea(ABAddressBook& book, QWidget* parent = nullptr);

  // Reads the store again.
  void loadPersonInAddressBook();
  QLabel* statusText() const { return status_; }
  QPushButton* importButton() const { return import_; }
  QPushButton* sampleButton() const { return sample_; }

 signals:
  void loaded();
  void importRequested();
  void sampleRequested();

 private:
  ABAddressBook& book_;
  QLabel* status_;
  QPushButton* import_;
  QPushButton* sample_;
};
