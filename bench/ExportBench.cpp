// The application's own writers (CSV, TXT, HTML, vCard) on records with all information, each
// beside a reference measured right after it on the same output.
#include <unistd.h>
#include <cstdio>
#include <filesystem>

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/export/ExportVCard.h"
#include "app/model/PersonRecord.h"
#include "bench/AddressBookGenerator.h"
#include "bench/BenchProcess.h"
#include "bench/BenchRecords.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace fs = std::filesystem;

namespace {

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = fs::temp_directory_path() / ("rolvane-bench-export-" + std::to_string(getpid()));
  fs::create_directories(folder);
  ContactRecords records = everyHeadingRecords(contacts);
  const double scale = targetScale(contacts);
  std::printf("  (the records alone: %.1f MB)\n", peakResidentMegabytes());

  // untilOnDisk: also the time until the file is on the disk (taken at once), beside dd's until its
  // bytes are: writing into the page cache alone is memory speed when nothing else holds dirty pages.
  auto measure = [&](const std::string& name, double targetSeconds, double targetRatio, auto write,
                     bool untilOnDisk = false) {
    resetPeakResident();
    ExportResult result;
    const double seconds = secondsOf([&] { result = write(); });
    BenchFigure figure{name,        seconds, contacts,    peakResidentMegabytes(), false, targetSeconds * scale,
                       targetRatio, 0,       std::nullopt};
    if (!result.ok()) {
      std::printf("  %s failed: %s\n", name.c_str(), result.error.c_str());
      ++reporter.failures;
      return result;
    }
    const std::optional<double> toDisk = untilOnDisk ? secondsToDisk(result.file) : std::nullopt;
    figure.reference = ddWriting(folder, bytesOf(result.file));
    reporter.report(figure);
    std::printf("    written: %s\n", byteText(bytesOf(result.file)).c_str());
    if (untilOnDisk && !toDisk) {
      std::printf("  syncing %s failed\n", name.c_str());
      ++reporter.failures;
    } else if (untilOnDisk) {
      BenchFigure onDisk{name + ", until on disk",
                         seconds + *toDisk,
                         contacts,
                         figure.peakMegabytes,
                         false,
                         0,
                         targetRatio,
                         0,
                         ddWriting(folder, bytesOf(result.file), true)};
      reporter.report(onDisk);
    }
    return result;
  };

  ExportResult csv = measure("CSV, all information", 0.3, 0, [&] {
    return ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder, true);
  });
  if (csv.ok()) {
    // Python's csv module on the same rows, for the record.
    if (auto python = pythonCsvWriting(csv.file, folder))
      std::printf("    %s: %.3f s, peak %.1f MB\n", python->name.c_str(), python->seconds, python->peakMegabytes);
    fs::remove(csv.file);
  }
  ExportResult txt = measure("TXT, all information", 0.3, 0, [&] {
    return ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder, true);
  });
  if (txt.ok()) fs::remove(txt.file);
  ExportResult html = measure(
      "HTML, all information", 0, 1.2,
      [&] { return ExportToHtml(records, (folder / "Zedid-Ovuzazur").string(), true).writeHtml(); }, true);
  if (html.ok()) fs::remove(html.file);

  // The vCard export with all information writes each person whole: an imported address book.
  auto book = ABAddressBook::inMemory();
  VCardImportResult read = VCardImporter::importText(generateAddressBookVCard(contacts), "bench.vcf");
  std::vector<ABPersonRef> persons;
  persons.reserve(read.persons.size());
  for (auto& data : read.persons) persons.push_back(std::make_shared<ABPerson>(std::move(data)));
  book->addRecords(persons);
  ContactRecords whole;
  whole.reserve(persons.size());
  for (const auto& person : persons) whole.push_back(prasePerson(person));

  const auto cards = folder / "cards";
  fs::create_directories(cards);
  resetPeakResident();
  ExportResult vcard;
  const double seconds =
      secondsOf([&] { vcard = ExportVCard().exportVcardWithArrayToPath(whole, cards.string(), true); });
  BenchFigure figure{"vCard, all information, one file per contact",
                     seconds,
                     contacts,
                     peakResidentMegabytes(),
                     false,
                     0,
                     1.3,
                     0,
                     std::nullopt};
  if (!vcard.ok()) {
    std::printf("  vCard export failed: %s\n", vcard.error.c_str());
    ++reporter.failures;
  } else {
    // Creating as many files of the same sizes: the measure of the per-contact form.
    figure.reference = creatingFilesLike(vcard.file);
  }
  reporter.report(figure);
  measure("vCard, all information, one file", 1.0, 0, [&] {
    return ExportVCard().exportOneFileWithArrayToPath(whole, (folder / "Zedid-Ovuzazur").string(), true);
  });
  fs::remove_all(folder);
}

const BenchRegistration registration("text exports", 40, run);

}  // namespace
