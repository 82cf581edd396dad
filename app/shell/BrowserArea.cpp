#include "app/shell/BrowserArea.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/widgets/Plural.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABGroups.h"

BrowserArea::BrowserArea(ABAddressBook& book, QWidget* parent)
    : QWidget(parent),
      book_(book),
      status_(new QLabel(this)),
      import_(new QPushButton(tr("Import vCard Files…"), this)),
      sample_(new QPushButton(tr("Open the Sample Address Book"), this)) {
  auto* layout = new QVBoxLayout(this);
  status_->setObjectName("browserStatus");
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  status_->setTextFormat(Qt::RichText);
  layout->addStretch(1);
  layout->addWidget(status_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(import_);
  buttons->addWidget(sample_);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  import_->setDefault(true);
  connect(import_, &QPushButton::clicked, this, &BrowserArea::importRequested);
  connect(sample_, &QPushButton::clicked, this, &BrowserArea::sampleRequested);
}

void BrowserArea::loadPersonInAddressBook() {
  // Group cards are no contacts.
  const size_t count = ABGroups::personsOnly(book_.people()).size();
  const bool empty = count == 0;
  import_->setVisible(empty);
  sample_->setVisible(empty);
  if (empty) {
    status_->setText(
        tr("<h2>The address book is empty</h2>"
           "<p>Bring your contacts in from vCard files (.vcf): choose <b>Import vCard Files…</b> or "
           "drop the files on this window.<br>Phones, mail programs and web address books can all "
           "save their contacts as vCard files.</p>"
           "<p>To see what a scan finds and fixes first, open the sample address book: its contacts "
           "hold every kind of problem a scan looks for.<br>It opens in a window of its own and leaves "
           "this address book as it is.</p>"));
  } else {
    status_->setText(countedText(tr("<h2>%n contact(s) in the address book</h2>"
                                    "<p>Press Scan to look for problems, or Export All to save every contact.</p>",
                                    nullptr, static_cast<int>(count)),
                                 static_cast<int>(count)));
  }
  emit loaded();
}
