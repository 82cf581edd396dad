// xlsx export of contacts with all information: time and peak memory.
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "bench/BenchRecords.h"
#include "bench/BenchRegistry.h"
#include "bench/XlsxReference.h"
#include "core/record/AllInfoColumns.h"
#include "frameworks/xlsx/XlsxCreater.h"

namespace fs = std::filesystem;

namespace {

const BenchRegistration xlsxSection("xlsx export", 60, [](std::size_t contacts, BenchReporter& reporter) {
  const ContactRecords records = everyHeadingRecords(contacts);
  const fs::path folder = fs::temp_directory_path() / ("rolvane-xlsx-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const double recordsMegabytes = peakResidentMegabytes();
  resetPeakResident();
  bool ok = false;
  const double seconds = secondsOf([&] {
    XlsxCreater creater(records, (folder / "Zedid-Ovuzazur").string(), true);
    ok = creater.startConvert();
    if (!ok) std::cerr << "xlsx export failed: " << creater.error() << "\n";
  });
  const double peak = peakResidentMegabytes();
  // libxlsxwriter in its constant-memory mode on the same cells, for the same records.
  std::optional<BenchReference> reference;
  if (haveLibxlsxwriter()) {
    const fs::path target = folder / "libxlsxwriter-reference.xlsx";
    resetPeakResident();
    bool written = false;
    const double referenceSeconds =
        secondsOf([&] { written = writeWithLibxlsxwriter(records, AllInfoColumns::spreadsheet(), target.string()); });
    if (written) reference = BenchReference{"libxlsxwriter, same cells", referenceSeconds, peakResidentMegabytes()};
    std::error_code ec;
    fs::remove(target, ec);
  }
  reporter.report(
      {"xlsx, all information", seconds, contacts, peak, false, 1.5 * targetScale(contacts), 0.8, 0, reference});
  if (!ok) ++reporter.failures;
  std::error_code ec;
  const auto size = fs::file_size(folder / "Zedid-Ovuzazur.xlsx", ec);
  std::printf("    workbook %.1f MB; the records alone took %.1f MB\n", ec ? 0.0 : size / 1e6, recordsMegabytes);
  if (peak > 1024) {
    std::printf("    peak memory above 1 GB\n");
    ++reporter.failures;
  }
  fs::remove_all(folder);
});

}  // namespace
