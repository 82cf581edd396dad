// Draws the contact browser over generated contacts into a PNG and prints how long the load took:
//   browser_view_screenshot OUT.png [COUNT]
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>
#include <QTextStream>
#include <cstdio>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: browser_view_screenshot OUT.png [COUNT]\n");
    return 2;
  }
  int count = argc > 2 ? std::atoi(argv[2]) : 3000;
  const char* firsts[] = {"Anna", "Bram", "Chloé", "Dmitri", "Eva", "Farid", "Greta", "Hiro", "Ines", "Jonas"};
  const char* lasts[] = {"Abbott", "Berg", "Castillo", "Dubois", "Eriksen", "Fischer", "García", "Horvath"};
  const char* companies[] = {"Northwind", "Initech", "Globex", "", "Umbrella", "Stark Industries"};
  auto book = ABAddressBook::inMemory();
  for (int i = 0; i < count; ++i) {
    auto person = ABPerson::create();
    person->setValueForProperty(std::string(firsts[i % 10]), kABFirstNameProperty);
    person->setValueForProperty(std::string(lasts[(i / 10) % 8]) + " " + std::to_string(i), kABLastNameProperty);
    if (*companies[i % 6]) person->setValueForProperty(std::string(companies[i % 6]), kABOrganizationProperty);
    ABMultiValue mails;
    mails.addValueWithLabel("person" + std::to_string(i) + "@example.org", kABHomeLabel);
    person->setValueForProperty(mails, kABEmailProperty);
    ABMultiValue phones;
    phones.addValueWithLabel("+49 30 " + std::to_string(1000000 + i), kABPhoneMobileLabel);
    person->setValueForProperty(phones, kABPhoneProperty);
    book->addRecord(person);
  }
  book->save();

  LoadContactsViewController browser(*book);
  browser.resize(1100, 640);
  browser.show();
  QElapsedTimer timer;
  timer.start();
  QObject::connect(&browser, &LoadContactsViewController::tableViewDataChange, &app, &QApplication::quit);
  browser.loadPersonInAddressBook();
  app.exec();
  qint64 loadMs = timer.elapsed();
  timer.restart();
  browser.getTableView()->horizontalHeader()->sectionClicked(1);
  qint64 sortMs = timer.elapsed();
  app.processEvents();
  browser.getTableView()->selectRow(2);
  browser.grab().save(QString::fromLocal8Bit(argv[1]));
  std::printf("%d contacts: load %lld ms, sort %lld ms\n", count, static_cast<long long>(loadMs),
              static_cast<long long>(sortMs));
  return 0;
}
