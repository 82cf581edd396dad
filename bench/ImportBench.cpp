#include <malloc.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/AddressBookGenerator.h"
#include "bench/BenchProcess.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

// vCard import of a generated address book into a new store file, including the save.
void runImportBench(std::size_t contacts, BenchReporter& reporter) {
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-import-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto vcf = dir / "contacts.vcf";
  {
    std::string text = generateAddressBookVCard(contacts, 1);
    std::ofstream(vcf, std::ios::binary) << text;
  }
  resetPeakResident();
  std::string error;
  bool ok = true;
  double reading = 0, saving = 0, closing = 0;
  double seconds = secondsOf([&] {
    auto book = ABAddressBook::open(dir / "store.sqlite", &error);
    if (!book) {
      ok = false;
      return;
    }
    VCardBookImportResult result;
    reading = secondsOf([&] { result = importVCardFilesIntoAddressBook(*book, {vcf}); });
    saving = secondsOf([&] { ok = result.ok() && book->save(&error); });
    if (!result.ok()) error = result.error;
    closing = secondsOf([&] {
      result = {};
      book.reset();
    });
  });
  if (!ok) {
    std::printf("  import failed: %s\n", error.c_str());
    ++reporter.failures;
  }
  const double peak = peakResidentMegabytes();
  reporter.report({"vCard import into a new store (with save)", seconds, contacts, peak, false,
                   1.0 * targetScale(contacts), 0, 0, vobjectParsing(vcf)});
  std::printf("    (read and add %.3f s, save %.3f s, close %.3f s)\n", reading, saving, closing);

  // As the command line imports: the contacts go into the file while the file is read.
  for (const char* file : {"store.sqlite", "store.sqlite-wal", "store.sqlite-shm"}) std::filesystem::remove(dir / file);
  malloc_trim(0);  // what the import before freed leaves the process, not only the heap
  resetPeakResident();
  ok = true;
  seconds = secondsOf([&] {
    auto book = ABAddressBook::open(dir / "store.sqlite", &error);
    if (!book) {
      ok = false;
      return;
    }
    VCardStoreImport result = appendVCardFilesToStore(*book, {vcf});
    ok = result.ok();
    if (!ok) error = result.error.empty() ? result.saved.error : result.error;
  });
  if (!ok) {
    std::printf("  import failed: %s\n", error.c_str());
    ++reporter.failures;
  }
  reporter.report({"vCard import straight into a new store (command line)", seconds, contacts, peakResidentMegabytes(),
                   false, 0.4 * targetScale(contacts), 0, contacts >= 100000 ? 150.0 : 0.0, std::nullopt});
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("import", 10, runImportBench);

// Input that once brought the import down or took minutes, as whole processes: a 3 GB file that is
// no vCard (once read whole before it was refused: 15 s, 3 GB), and one card with 100,000 item
// groups, imported and scanned (once 36 s and 14 s).
void runLargeInputBench(std::size_t, BenchReporter& reporter) {
  const std::filesystem::path rolvane = rolvaneProgram();
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-large-input-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string store = (dir / "store.sqlite").string();

  const auto zeros = dir / "zeros.vcf";
  std::ofstream(zeros, std::ios::binary).close();
  std::filesystem::resize_file(zeros, std::uintmax_t{3} << 30);  // a hole: no disk space taken
  ProcessRun refused = runProcess({rolvane.string(), "--store", store, "import", zeros.string()}, true);
  if (refused.ok || refused.errors.find("not a vCard line") == std::string::npos) {
    std::printf("  the 3 GB file was not refused as it should be: %s\n", refused.errors.c_str());
    ++reporter.failures;
  }
  reporter.report({"rolvane import of a 3 GB file that is no vCard (refused)", refused.seconds, 1,
                   refused.peakMegabytes, true, 1.0, 0, 150, std::nullopt});

  constexpr std::size_t kGroups = 100000;
  const auto groups = dir / "groups.vcf";
  {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Groups;Many;;;\r\n";
    for (std::size_t i = 0; i < kGroups; ++i) {
      const std::string item = "item" + std::to_string(i);
      card += item + ".TEL:+1 555 " + std::to_string(i) + "\r\n" + item + ".X-ABLabel:Label " + std::to_string(i % 50) +
              "\r\n";
    }
    std::ofstream(groups, std::ios::binary) << card << "END:VCARD\r\n";
  }
  std::filesystem::remove(store);
  ProcessRun imported = runProcess({rolvane.string(), "--store", store, "import", groups.string()}, true);
  if (!imported.ok) {
    std::printf("  import failed: %s\n", imported.errors.c_str());
    ++reporter.failures;
  }
  reporter.report({"rolvane import of one card with 100,000 item groups", imported.seconds, kGroups,
                   imported.peakMegabytes, true, 1.0, 0, 150, std::nullopt});
  ProcessRun scanned = runProcess({rolvane.string(), "--store", store, "scan", "--json"}, true);
  if (!scanned.ok) {
    std::printf("  scan failed: %s\n", scanned.errors.c_str());
    ++reporter.failures;
  }
  // A guard against the pairwise comparisons of old (14 s), not a speed target: the scan checks the
  // format of each of the 100,000 phone numbers (about 3 s on a loaded machine).
  reporter.report({"rolvane scan --json of that card", scanned.seconds, kGroups, scanned.peakMegabytes, true, 5.0, 0,
                   150, std::nullopt});
  std::filesystem::remove_all(dir);
}

BenchRegistration largeInput("large vCard input", 11, runLargeInputBench);

}  // namespace
