#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/review/FixActions.h"
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

struct Run {
  double import = 0, fix = 0;
  std::uintmax_t bytes = 0;
  std::size_t merged = 0;
  bool ok = true;
};

std::uintmax_t storeBytes(const std::filesystem::path& path) {
  std::uintmax_t total = 0;
  for (const char* suffix : {"", "-wal"}) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path.string() + suffix, ec);
    if (!ec) total += size;
  }
  return total;
}

// Import of the generated book into a new store, then every duplicate group merged as
// `rolvane fix --condition "Duplicate contacts" --option "Merge contacts"` does, one save each.
Run importAndMergeAll(const std::filesystem::path& vcf, const std::filesystem::path& store, bool history) {
  Run run;
  {
    auto book = ABAddressBook::open(store);
    if (!book) return {0, 0, 0, 0, false};
    book->setRecordsHistory(history);
    run.import = secondsOf([&] {
      auto result = importVCardFilesIntoAddressBook(*book, {vcf});
      run.ok = result.ok() && book->save();
    });
    run.fix = secondsOf([&] {
      ScanResult result = ScanAddressBook(*book).scan({ReviewCategories::kDuplicateContacts});
      ReviewOutline outline;
      outline.setOutlineViewDataSouce(result);
      outline.expandAll();
      AlwaysYes questions;
      while (PersonItem* father = outline.category(ReviewCategories::kDuplicateContacts)) {
        if (father->childrenCount() == 0) break;
        outline.selectItem(father->childAtIndex(0));
        outline.selectOption(ReviewCategories::Option::kMerge);
        FixActions actions(outline, *book, questions);
        FixOutcome outcome = actions.FixFounction();
        if (!outcome.error.empty()) {
          run.ok = false;
          break;
        }
        ++run.merged;
      }
    });
  }
  run.bytes = storeBytes(store);
  return run;
}

void runHistoryBench(std::size_t contacts, BenchReporter& reporter) {
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-history-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto vcf = dir / "contacts.vcf";
  {
    std::string text = generateAddressBookVCard(contacts, 1);
    std::ofstream(vcf, std::ios::binary) << text;
  }
  Run without = importAndMergeAll(vcf, dir / "without.sqlite", false);
  Run with = importAndMergeAll(vcf, dir / "with.sqlite", true);
  if (!without.ok || !with.ok) {
    std::printf("  a run failed\n");
    ++reporter.failures;
  }
  reporter.step("import without history", without.import, contacts);
  reporter.step("import with history", with.import, contacts);
  reporter.step("merge every duplicate group without history", without.fix, without.merged);
  reporter.step("merge every duplicate group with history", with.fix, with.merged);
  double importRatio = with.import / without.import, fixRatio = with.fix / without.fix;
  double sizeRatio = static_cast<double>(with.bytes) / static_cast<double>(without.bytes);
  std::printf("    (%zu groups merged; time with history: import %.2fx, merges %.2fx, target under 1.25x)\n",
              with.merged, importRatio, fixRatio);
  std::printf("    (store %.1f MB without history, %.1f MB with: %.2fx, target under 2x)\n", without.bytes / 1e6,
              with.bytes / 1e6, sizeRatio);
  if (importRatio >= 1.25 || fixRatio >= 1.25 || sizeRatio >= 2.0) {
    std::printf("  MISSED a history target\n");
    ++reporter.failures;
  }
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("history", 15, runHistoryBench);

}  // namespace
