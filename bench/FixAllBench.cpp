// Fix All of every duplicate group of the generated book as the review screen's "Fix All" and
// `rolvane fix` run it (one change set), then its undo and redo.
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/review/FixAll.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanAddressBook.h"
#include "bench/AddressBookGenerator.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

class AlwaysYes : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

void runFixAllBench(std::size_t contacts, BenchReporter& reporter) {
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-fixall-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto vcf = dir / "contacts.vcf";
  std::ofstream(vcf, std::ios::binary) << generateAddressBookVCard(contacts, 1);
  auto book = ABAddressBook::open(dir / "store.sqlite");
  bool ok = book && importVCardFilesIntoAddressBook(*book, {vcf}).ok() && book->save();
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
  reporter.step("Fix All: merge every duplicate group (one change set)", fix, outcome.fixed, 5);
  reporter.step("undo of that Fix All", undo, outcome.fixed, 5);
  reporter.step("redo of that Fix All", redo, outcome.fixed, 5);
  std::printf("    (%d groups merged, %zu contacts before, %zu change sets recorded after the import)\n", outcome.fixed,
              before, history.size() - 1);
  if (!outcome.errors.empty() || !ok || !back || history.size() != 2) {
    std::printf("  FAILED: %s%s\n", error.c_str(), outcome.errors.empty() ? "" : outcome.errors.front().c_str());
    ++reporter.failures;
  }
  book.reset();
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("fix all", 16, runFixAllBench);

}  // namespace
