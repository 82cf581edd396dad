// The contact table over a large store: loading it and sorting it by a header click, with the
// longest time the window's event loop stood still meanwhile. Built when the window is.
#ifdef ROLVANE_BENCH_WINDOW

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "bench/AddressBookGenerator.h"
#include "bench/BenchRegistry.h"
#include "bench/BenchWindow.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

void run(std::size_t contacts, BenchReporter& reporter) {
  benchApplication();
  auto book = ABAddressBook::inMemory();
  const auto cards =
      std::filesystem::temp_directory_path() / ("rolvane-bench-table-" + std::to_string(getpid()) + ".vcf");
  std::ofstream(cards, std::ios::binary) << generateAddressBookVCard(contacts);
  importVCardFilesIntoAddressBook(*book, {cards});
  std::filesystem::remove(cards);
  book->save();
  resetPeakResident();

  LoadContactsViewController browser(*book);
  browser.resize(1000, 600);
  browser.show();
  QSignalSpy loaded(&browser, &LoadContactsViewController::tableViewDataChange);
  StallMeter meter;
  meter.start();
  const double load = secondsOf([&] {
    browser.loadPersonInAddressBook();
    loaded.wait(60000);
  });
  const double loadStall = meter.stop();
  reporter.step("contact table: load every contact", load, browser.model()->rowCount(), 2.0);

  QHeaderView* header = browser.getTableView()->horizontalHeader();
  meter.start();
  const double sort = secondsOf([&] {
    header->sectionClicked(0);
    QApplication::processEvents();
  });
  meter.stop();
  reporter.step("contact table: sort by a header click", sort, browser.model()->rowCount(), 0.5);
  const double again = secondsOf([&] {
    header->sectionClicked(0);
    QApplication::processEvents();
  });
  reporter.step("contact table: sort again, the other way", again, browser.model()->rowCount(), 0.5);

  // Find, typed one key at a time: each keystroke filters every contact (the first one also
  // prepares the searchable text of every row), then a key is taken back, then the field emptied.
  const QString typed = QStringLiteral("jose");  // finds "José" too
  double slowest = 0;
  for (int length = 1; length <= typed.size(); ++length) {
    const double keystroke = secondsOf([&] {
      browser.setFindText(typed.left(length));
      QApplication::processEvents();
    });
    slowest = std::max(slowest, keystroke);
    reporter.step("contact table: find, keystroke " + std::to_string(length) + " (" +
                      std::to_string(browser.model()->rowCount()) + " found)",
                  keystroke, browser.model()->records().size(), 0.1);
  }
  const double back = secondsOf([&] {
    browser.setFindText(typed.left(typed.size() - 1));
    QApplication::processEvents();
  });
  reporter.step("contact table: find, a key taken back", back, browser.model()->records().size(), 0.1);
  const double cleared = secondsOf([&] {
    browser.setFindText(QString());
    QApplication::processEvents();
  });
  reporter.step("contact table: find emptied", cleared, browser.model()->records().size(), 0.1);
  std::printf("  (slowest find keystroke: %.3f s)\n", slowest);
  std::printf("  (longest stall of the window while loading: %.3f s)\n", loadStall);
}

const BenchRegistration registration("contact table", 30, run);

}  // namespace

#endif
