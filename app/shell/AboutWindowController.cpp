#include "app/shell/AboutWindowController.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/ProductInfo.h"
#include "app/shell/ShippedFiles.h"

AboutWindowController::AboutWindowController(QWidget* parent)
    : QDialog(parent),
      aboutTitle_(new QLabel(this)),
      aboutVersion_(new QLabel(this)),
      aboutCopyright_(new QLabel(this)) {
  ShippedFiles::loadImages();
  setWindowTitle(tr("About %1").arg(ProductInfo::kProductName));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(28, 24, 28, 20);
  layout->setSpacing(8);

  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(":/images/rolvane.png").scaledToWidth(96, Qt::SmoothTransformation));
  icon->setAlignment(Qt::AlignCenter);
  layout->addWidget(icon);

  QFont titleFont = aboutTitle_->font();
  titleFont.setPointSizeF(14.0);
  titleFont.setBold(true);
  aboutTitle_->setFont(titleFont);
  aboutTitle_->setText(ProductInfo::kProductName);
  aboutVersion_->setText(tr("Version %1")
                             .arg(QCoreApplication::applicationVersion().isEmpty()
                                      ? QStringLiteral(ROLVANE_VERSION)
                                      : QCoreApplication::applicationVersion()));
  aboutCopyright_->setText(ProductInfo::kCopyright);
  aboutCopyright_->setWordWrap(true);
  for (QLabel* label : {aboutTitle_, aboutVersion_, aboutCopyright_}) {
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
  }

  auto* more = new QPushButton(tr("More Info"), this);
  more->setObjectName("moreInfo");
  connect(more, &QPushButton::clicked, this, &AboutWindowController::moreInfo);
  layout->addWidget(more, 0, Qt::AlignCenter);
  setFixedWidth(380);
}

void AboutWindowController::moreInfo() {
  const QUrl page = ShippedFiles::pageUrl(ProductInfo::kProductPage);
  const bool opened = opener_ ? opener_(page) : QDesktopServices::openUrl(page);
  if (opened) return;
  const QString text =
      page.isEmpty() ? tr("The product page is not installed with this copy of %1.").arg(ProductInfo::kProductName)
                     : tr("No web browser could open the product page %1. Open the address in a browser.")
                           .arg(page.isLocalFile() ? page.toLocalFile() : page.toString());
  if (warning_)
    warning_(text);
  else
    QMessageBox::warning(this, tr("More Info"), text);
}
