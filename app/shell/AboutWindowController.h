#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

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
  // Opens the product page in the user's browser; says so when no browser opens it.
  void moreInfo();

 public:
  // How a page is opened (the desktop's default browser unless given another) and how a failure is
  // told (a warning box unless given another).
  void setUrlOpener(std::function<bool(const QUrl&)> opener) { opener_ = std::move(opener); }
  void setWarning(std::function<void(const QString&)> warning) { warning_ = std::move(warning); }

 private:
  std::function<bool(const QUrl&)> opener_;
  std::function<void(const QString&)> warning_;
  QLabel* aboutTitle_;
  QLabel* aboutVersion_;
  QLabel* aboutCopyright_;
};
