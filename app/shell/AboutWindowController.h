#pragma once

#include <QDialog>

class QLabel;

// The About window: the product's name, version and copyright, and a link to its page.
class AboutWindowController : public QDialog {
  Q_OBJECT

 public:
  explicit AboutWindowController(QWidget* parent = nullptr);

  QLabel* about_title() const { return aboutTitle_; }
  QLabel* about_version() const { return aboutVersion_; }
  QLabel* about_Copyright() const { return aboutCopyright_; }

 public slots:
  void moreInfo();

 private:
  QLabel* aboutTitle_;
  QLabel* aboutVersion_;
  QLabel* aboutCopyright_;
};
