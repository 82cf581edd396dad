#include "app/shell/HelpWindow.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/shell/ShippedFiles.h"

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  ShippedFiles::loadImages();
  // The desktop adds the application's name.
  setWindowTitle(tr("Help"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  browser_->setObjectName("helpText");
  browser_->setOpenExternalLinks(true);
  browser_->setSource(QUrl(kSource));
  layout->addWidget(browser_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->setContentsMargins(8, 0, 8, 0);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  layout->addWidget(buttons);
  resize(640, 720);
}
