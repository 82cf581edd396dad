#include <unistd.h>
#include <filesystem>

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/export/ExportVCard.h"
#include "app/model/AllInfoColumns.h"
#include "bench/BenchRegistry.h"

namespace {

// Records with a value under most all-info headings, as an address book with all information gives.
ContactRecords fullRecords(std::size_t contacts) {
  ContactRecords records(contacts);
  const auto& headings = AllInfoColumns::base();
  for (std::size_t i = 0; i < contacts; ++i) {
    auto& record = records[i];
    record.reserve(headings.size());
    for (std::size_t h = 0; h < headings.size(); ++h) {
      if ((i + h) % 3 == 0) continue;
      if (headings[h] == "Birthday")
        record.set(headings[h], ABDate{1950 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12), 1});
      else
        record.set(headings[h], headings[h] + " " + std::to_string(i) + (h % 7 == 0 ? ", with \"quotes\"" : ""));
    }
  }
  return records;
}

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-bench-export-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  ContactRecords records = fullRecords(contacts);
  resetPeakResident();
  reporter.step("CSV, all information",
                secondsOf([&] { ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder, true); }),
                contacts, 0.3);
  reporter.step("TXT, all information",
                secondsOf([&] { ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder, true); }),
                contacts, 0.3);
  reporter.step("HTML, all information",
                secondsOf([&] { ExportToHtml(records, (folder / "Zedid-Ovuzazur").string(), true).writeHtml(); }),
                contacts, 1.5);
  const auto cards = folder / "cards";
  std::filesystem::create_directories(cards);
  reporter.step("vCard, all information, one file per contact",
                secondsOf([&] { ExportVCard().exportVcardWithArrayToPath(records, cards.string()); }), contacts, 8.0);
  std::filesystem::remove_all(folder);
}

const BenchRegistration registration("text exports", 40, run);

}  // namespace
