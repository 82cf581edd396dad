#pragma once

#include <QDialog>

class QLabel;

// The About window: the product's name, version and copyright, and a link to its page.
class AboutWindowController : public QDialog {
  Q_OBJECT

 public:
  explicit AboutWindowController(QWidget* parent = nullptr);

  QLabel* about_title() const { return about_title_; }
  QLabel* about_version() const { return about_version_; }
  QLabel* about_Copyright() const { return about_Copyright_; }

 public slots:
  void moreInfo();

 private:
  QLabel* about_title_;
  QLabel* about_version_;
  QLabel* about_Copyright_;
};
