// Word document export (Wistrel) of contacts with all information.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchRecords.h"
#include "bench/BenchRegistry.h"
#include "core/record/ContactRecord.h"
#include "frameworks/docx/DocxCreator.h"

namespace {

void runDocx(std::size_t contacts, BenchReporter& reporter) {
  char pattern[] = "/tmp/rolvane-bench-docx-XXXXXX";
  if (!mkdtemp(pattern)) return;
  const std::filesystem::path folder = pattern;
  for (std::size_t count : {std::min<std::size_t>(10000, contacts), contacts}) {
    const ContactRecords records = browserRecords(count);
    resetPeakResident();
    DocxCreator creator(records, (folder / "Zedid-Ovuzazur").string());
    bool written = false;
    const double seconds = secondsOf([&] { written = creator.startConvert(); });
    const double target = count >= 100000 ? 5.0 * count / 100000 : 0;
    reporter.step("docx, " + std::to_string(count) + " contacts", seconds, count, target);
    if (!written) {
      std::printf("  docx export failed: %s\n", creator.error().c_str());
      ++reporter.failures;
    } else {
      std::error_code ec;
      std::printf("  %-44s %8.1f MB\n", "docx file size", std::filesystem::file_size(creator.outputPath(), ec) / 1e6);
      std::filesystem::remove(creator.outputPath(), ec);
    }
    if (count == contacts) break;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

const BenchRegistration registration("docx", 60, runDocx);

}  // namespace
