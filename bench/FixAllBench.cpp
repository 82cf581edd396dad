// Fix All of every duplicate group of a book as a real one is (names of their own, 2,304 groups of
// duplicates in 100,000 contacts) as the review screen's "Fix All" runs it (one change set), then
// its undo and redo, beside the import of the same book; then `rolvane fix --yes`, the program on
// its own, on another import of it.
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/review/FixAll.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanAddressBook.h"
#include "bench/AddressBookGenerator.h"
#include "bench/BenchProcess.h"
#include "bench/BenchRegistry.h"
#include "bench/BenchWindow.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#ifdef ROLVANE_BENCH_WINDOW
#include "app/review/view/OutlineViewController.h"
#include "app/widgets/MyButton.h"
#endif

namespace {

class AlwaysYes : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

void runFixAllBench(std::size_t contacts, BenchReporter& reporter) {
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-fixall-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto vcf = dir / "contacts.vcf";
  // The groups of the book the target was set for, in proportion.
  const std::size_t groups = contacts * 2304 / 100000;
  std::ofstream(vcf, std::ios::binary) << generateAddressBookWithDuplicates(contacts, groups, 1);
  auto book = ABAddressBook::open(dir / "store.sqlite");
  bool ok = false;
  double import = secondsOf([&] { ok = book && importVCardFilesIntoAddressBook(*book, {vcf}).ok() && book->save(); });
  if (!ok) {
    std::printf("  the import failed\n");
    ++reporter.failures;
    std::filesystem::remove_all(dir);
    return;
  }
  const std::size_t before = book->count();
  ScanResult result = ScanAddressBook(*book).scan({ReviewCategories::kDuplicateContacts});
  ReviewOutline outline;
  outline.setOutlineViewDataSouce(result);
  outline.expandAll();
  const auto* category = ReviewCategories::byTitle(ReviewCategories::kDuplicateContacts);
  AlwaysYes questions;
  FixAllOutcome outcome;
  double fix = secondsOf(
      [&] { outcome = fixAllInCategory(outline, *book, *category, ReviewCategories::Option::kMerge, questions); });
  std::vector<ABChangeSet> history;
  book->changeHistory(history);
  std::string error;
  double undo = secondsOf([&] { ok = book->undo(0, false, nullptr, &error); });
  const bool back = ok && book->count() == before;
  double redo = secondsOf([&] { ok = ok && book->redo(nullptr, &error); });
  reporter.step("import of the same book", import, before);
  reporter.step("Fix All: merge every duplicate group (one change set)", fix, outcome.fixed, 5);
  reporter.step("undo of that Fix All", undo, outcome.fixed, 5);
  reporter.step("redo of that Fix All", redo, outcome.fixed, 5);
  std::printf("    (%d groups merged, %zu contacts before, %zu change sets recorded after the import)\n", outcome.fixed,
              before, history.size() - 1);
  if (!outcome.errors.empty() || !ok || !back || history.size() != 2 || outcome.fixed != static_cast<int>(groups)) {
    std::printf("  FAILED: %s%s\n", error.c_str(), outcome.errors.empty() ? "" : outcome.errors.front().c_str());
    ++reporter.failures;
  }
#ifdef ROLVANE_BENCH_WINDOW
  // The same Fix All in the review screen, as the window runs it: a few findings between its
  // events, the outline drawn again after each turn.
  if (ok && book->undo(0, false, nullptr, &error)) {
    benchApplication();
    OutlineViewController screen(*book, nullptr);
    screen.setQuestions(&questions);
    int merged = 0;
    screen.setFixAllReport([&](const QString&, const QString& details, bool) {
      merged = details.isEmpty() ? 0 : static_cast<int>(details.count('\n')) + 1;
    });
    screen.setOutlineViewDataSouce(ScanAddressBook(*book).scan({ReviewCategories::kDuplicateContacts}));
    screen.showResults();
    screen.resize(1000, 680);
    screen.show();
    QApplication::processEvents();
    StallMeter stalls;
    stalls.start();
    const double window = secondsOf([&] {
      screen.fixAllButton()->click();
      while (screen.fixAllRunning()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    });
    const double stall = stalls.stop();
    reporter.step("Fix All in the review screen (drawn between findings)", window, merged, 5);
    std::printf("    (%d findings; the longest the window stood still meanwhile: %.3f s)\n", merged, stall);
    if (merged != static_cast<int>(groups)) {
      std::printf("  FAILED: the review screen merged %d groups\n", merged);
      ++reporter.failures;
    }
  }
#endif
  book.reset();

  // The command line: the same merges by `rolvane fix`, scan included, as a program of its own.
  const std::filesystem::path rolvane = rolvaneProgram();
  if (!std::filesystem::exists(rolvane)) {
    std::printf("  %s is missing: build the program first\n", rolvane.c_str());
    ++reporter.failures;
  } else {
    const std::string store = (dir / "command.sqlite").string();
    const ProcessRun imported = runProcess({rolvane.string(), "--store", store, "import", vcf.string()}, true);
    const ProcessRun fixed = imported.ok ? runProcess({rolvane.string(), "--store", store, "fix", "--condition",
                                                       "Duplicate contacts", "--option", "Merge contacts", "--yes"})
                                         : imported;
    if (!fixed.ok) {
      std::printf("  rolvane fix failed: %s\n", fixed.errors.c_str());
      ++reporter.failures;
    } else {
      reporter.report({"rolvane fix --condition \"Duplicate contacts\" --option \"Merge contacts\" --yes",
                       fixed.seconds, groups, fixed.peakMegabytes, true, 5, 0, 0, std::nullopt});
      const std::string told = "Fixed " + std::to_string(groups) + " finding(s)";
      if (fixed.output.find(told) == std::string::npos) {
        const std::size_t last = fixed.output.rfind("Fixed");
        std::printf("  rolvane fix did not fix every group: %s\n",
                    last == std::string::npos ? "it said nothing" : fixed.output.substr(last).c_str());
        ++reporter.failures;
      }
    }
  }
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("fix all", 16, runFixAllBench);

}  // namespace
