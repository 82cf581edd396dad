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
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("import", 10, runImportBench);

}  // namespace
