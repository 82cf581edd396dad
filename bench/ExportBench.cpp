#include <unistd.h>
#include <filesystem>

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/export/ExportVCard.h"
#include "bench/BenchRecords.h"
#include "bench/BenchRegistry.h"

namespace {

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-bench-export-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  ContactRecords records = everyHeadingRecords(contacts);
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
