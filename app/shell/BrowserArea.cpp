#include "app/shell/BrowserArea.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/addressbook/ABAddressBook.h"

BrowserArea::BrowserArea(ABAddressBook& book, QWidget* parent)
    : QWidget(parent), book_(book), status_(new QLabel(this)) {
  auto* layout = new QVBoxLayout(this);
  status_->setObjectName("browserStatus");
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  status_->setTextFormat(Qt::RichText);
  layout->addWidget(status_, 1);
}

void BrowserArea::loadPersonInAddressBook() {
  const size_t count = book_.count();
  if (count == 0) {
    status_->setText(tr("<h2>The address book is empty</h2>"
                        "<p>Add contacts from vCard files with<br><tt>rolvane --store %1 import FILE.vcf</tt></p>"
                        "<p>To try every fix, import the sample address book shipped with the program<br>"
                        "(<tt>share/rolvane/SampleAddressBook.vcf</tt>): its contacts hold one of each of the "
                        "thirteen problems a scan finds.</p>")
                         .arg(QString::fromStdString(book_.path().string()).toHtmlEscaped()));
  } else {
    status_->setText(
        tr("<h2>%n contact(s) in the address book</h2>"
           "<p>Press Scan to look for problems, or Export All to save every contact.</p>",
           nullptr, static_cast<int>(count)));
  }
  emit loaded();
}
