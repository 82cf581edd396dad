#pragma once

#include <QDialog>

class QTextBrowser;

// Help > Rolvane help: the help document, read in a window of the application. Its links within
// the document move through it; links to web pages open in the browser.
class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  QTextBrowser* browser() const { return browser_; }
  // Where the help document is read from.
  static constexpr const char* kSource = "qrc:/help/RolvaneHelp.html";

 private:
  QTextBrowser* browser_;
};
