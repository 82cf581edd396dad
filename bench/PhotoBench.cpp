// The two photo conditions on a book where one contact in ten holds a photo of about 200 KB (found
// from the stored bytes and the headers, no picture decoded), and Fix All shrinking 1,000 photos.
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/review/FixAll.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/image/Photo.h"
#include "tests/support/TestPhotos.h"

#ifdef ROLVANE_BENCH_WINDOW
#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/browser/view/PhotoThumbnails.h"
#include "bench/BenchWindow.h"
#endif

namespace {

const std::vector<std::string> kPhotoConditions = {"Photo too large", "Same photo on different people"};

class AlwaysYes : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

// A few pictures as JPEGs of about 200 KB each (quality lowered until one is at most 210 KB).
std::vector<std::string> basePhotos(size_t count) {
  std::vector<std::string> photos;
  for (size_t i = 0; i < count; ++i) {
    const Photo::Pixels pixels = TestPhotos::halves(1200, 900, 0x102030 * static_cast<std::uint32_t>(i + 1) & 0xFFFFFF,
                                                    0xF0E0D0 - static_cast<std::uint32_t>(i) * 0x030201, true);
    std::string photo;
    for (int quality = 95; quality >= 30; quality -= 5) {
      photo = TestPhotos::jpeg(pixels, quality);
      if (photo.size() <= 210 * 1024) break;
    }
    photos.push_back(std::move(photo));
  }
  return photos;
}

// A photo of its own for each contact, made from a base picture: a few bytes of its scans changed
// and its scans ended a little earlier, so that no two are alike (their headers still read).
std::string variantOf(const std::string& base, size_t i) {
  std::string photo = base;
  const size_t scans = photo.find("\xFF\xDA");
  const size_t at = scans + 200 + (i * 131) % 2000;
  photo[at] = static_cast<char>((static_cast<unsigned char>(photo[at]) + 1 + i % 97) % 0xFE);
  photo[at + 1] = static_cast<char>(i % 0xFE);
  photo.resize(photo.size() - 2 - (i * 37) % 6000);
  photo += "\xFF\xD9";
  return photo;
}

ABPersonRef personNumbered(size_t i) {
  auto person = ABPerson::create();
  person->setValueForProperty("First" + std::to_string(i % 977), kABFirstNameProperty);
  person->setValueForProperty("Last" + std::to_string(i), kABLastNameProperty);
  ABMultiValue emails;
  emails.addValueWithLabel("user" + std::to_string(i) + "@example.org", kABHomeLabel);
  person->setValueForProperty(emails, kABEmailProperty);
  return person;
}

#ifdef ROLVANE_BENCH_WINDOW
// The contact table with its photo column, scrolled from top to bottom a page at a time as fast as
// the window draws: the longest the window stood still, and how long the last page's thumbnails
// took to come.
void runTableScroll(ABAddressBook& book, BenchReporter& reporter) {
  benchApplication();
  LoadContactsViewController browser(book);
  browser.resize(1000, 600);
  browser.show();
  QSignalSpy loaded(&browser, &LoadContactsViewController::tableViewDataChange);
  browser.loadPersonInAddressBook();
  loaded.wait(120000);
  browser.model()->setColumns({ContactTableModel::kNameColumn, ContactTableModel::kPhotoColumn});
  QScrollBar* bar = browser.getTableView()->verticalScrollBar();
  StallMeter meter;
  meter.start();
  int pages = 0;
  const double scroll = secondsOf([&] {
    for (int at = 0; at <= bar->maximum(); at += bar->pageStep() * 50, ++pages) {
      bar->setValue(at);
      browser.getTableView()->viewport()->repaint();
      QApplication::processEvents();
    }
  });
  const double stall = meter.stop();
  reporter.step("contact table with photos: scroll through " + std::to_string(pages) + " pages", scroll,
                static_cast<size_t>(pages));
  BenchFigure still;
  still.name = "contact table with photos: the longest the window stood still while scrolling";
  still.seconds = stall;
  still.items = static_cast<size_t>(pages);
  still.targetSeconds = 0.1;
  reporter.report(still);
  const double last = secondsOf([&] {
    while (browser.model()->thumbnails().busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
  });
  reporter.step("contact table with photos: the thumbnails asked for, made after the scroll", last, 0);
}
#endif

void runScan(std::size_t contacts, BenchReporter& reporter, const std::filesystem::path& folder) {
  const std::vector<std::string> bases = basePhotos(20);
  auto book = ABAddressBook::open(folder / "scan.sqlite");
  size_t photos = 0, bytes = 0;
  for (size_t i = 0; i < contacts; ++i) {
    auto person = personNumbered(i);
    if (i % 10 == 0) {
      // One in a thousand photos is the one before it again, on someone else.
      const size_t n = (i / 10) % 1000 == 999 ? i / 10 - 1 : i / 10;
      const std::string photo = variantOf(bases[n % bases.size()], n);
      person->setImageData(ABBytes(photo.begin(), photo.end()));
      ++photos;
      bytes += photo.size();
    }
    book->addRecord(person);
  }
  if (!book->save()) {
    std::printf("  FAILED: the store could not be written\n");
    ++reporter.failures;
    return;
  }
  std::printf("  (%zu photos of %zu KB on average)\n", photos, photos ? bytes / photos / 1024 : 0);

  const ScanSnapshot snapshot = ScanSnapshot::of(*book);
  ScanFindings found;
  const double two = secondsOf([&] { found = ScanAddressBook::scan(snapshot, kPhotoConditions, ""); });
  reporter.step("the two photo conditions on a snapshot of the store", two, contacts, 1.0 * targetScale(contacts));
  size_t listed = 0;
  for (const auto& list : found.lists) listed += list.persons.size();
  std::printf("    (%zu photos listed)\n", listed);

  std::vector<std::string> without = allConditionNames();
  std::erase_if(without, [](const std::string& name) {
    return std::find(kPhotoConditions.begin(), kPhotoConditions.end(), name) != kPhotoConditions.end();
  });
  // Each twice, in turn, the faster of each counted: the first scan of a store pays for pages
  // first touched.
  double withoutSeconds = 1e9, withSeconds = 1e9;
  for (int round = 0; round < 2; ++round) {
    withoutSeconds = std::min(withoutSeconds, secondsOf([&] { ScanAddressBook(*book).scan(without); }));
    withSeconds = std::min(withSeconds, secondsOf([&] { ScanAddressBook(*book).scan(allConditionNames()); }));
  }
  std::printf("    (the default scan: %.2f s, without the photo conditions %.2f s)\n", withSeconds, withoutSeconds);
  reporter.step("what the photo conditions add to the default scan", std::max(0.0, withSeconds - withoutSeconds),
                contacts, 1.0 * targetScale(contacts));
#ifdef ROLVANE_BENCH_WINDOW
  runTableScroll(*book, reporter);
#endif
}

void runShrink(BenchReporter& reporter, const std::filesystem::path& folder) {
  constexpr size_t kPhotos = 1000;
  const std::vector<std::string> bases = basePhotos(20);
  auto book = ABAddressBook::open(folder / "shrink.sqlite");
  for (size_t i = 0; i < kPhotos; ++i) {
    auto person = personNumbered(i);
    // Each photo its own bytes (a comment of its own), each one decoded whole by the shrink.
    const std::string photo = TestPhotos::withComment(bases[i % bases.size()], "photo " + std::to_string(i));
    person->setImageData(ABBytes(photo.begin(), photo.end()));
    book->addRecord(person);
  }
  book->save();
  // The pictures alone, on one core: decoded at a scale, scaled down, written.
  const double shrinks = secondsOf([&] {
    for (size_t i = 0; i < 100; ++i) Photo::shrink(bases[i % bases.size()], 512, 85, nullptr);
  });
  reporter.step("shrinking 100 of those photos alone, on one core", shrinks, 100);
  ReviewOutline outline;
  outline.setOutlineViewDataSouce(ScanAddressBook(*book).scan({"Photo too large"}));
  outline.expandAll();
  const auto* category = ReviewCategories::byConditionKey("LargePhoto");
  AlwaysYes questions;
  FixAllOutcome outcome;
  const double fix = secondsOf([&] {
    outcome = fixAllInCategory(outline, *book, *category, ReviewCategories::Option::kShrinkPhoto, questions);
  });
  reporter.step("Fix All: shrink 1,000 photos of about 200 KB", fix, kPhotos, 10);
  std::string error;
  const double undo = secondsOf([&] { book->undo(0, false, nullptr, &error); });
  reporter.step("undo of that Fix All", undo, kPhotos, 5);
  if (outcome.fixed != static_cast<int>(kPhotos) || !outcome.errors.empty() || !error.empty()) {
    std::printf("  FAILED: %d shrunk; %s%s\n", outcome.fixed, error.c_str(),
                outcome.errors.empty() ? "" : outcome.errors.front().c_str());
    ++reporter.failures;
  }
}

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-bench-photos-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  runScan(contacts, reporter, folder);
  runShrink(reporter, folder);
  std::filesystem::remove_all(folder);
}

const BenchRegistration registration("photos", 25, run);

}  // namespace
