// Numbers (Lumbrek) and Pages (Pavrost) export of contacts with all information.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchRecords.h"
#include "bench/BenchRegistry.h"
#include "core/record/ContactRecord.h"
#include "frameworks/numbers/NumbersCreator.h"
#include "frameworks/pages/PagesCreator.h"

namespace {

template <typename Creator>
void runFormat(const char* format, std::size_t contacts, BenchReporter& reporter) {
  char pattern[] = "/tmp/rolvane-bench-iwork-XXXXXX";
  if (!mkdtemp(pattern)) return;
  const std::filesystem::path folder = pattern;
  for (std::size_t count : {std::min<std::size_t>(10000, contacts), contacts}) {
    const ContactRecords records = browserRecords(count);
    resetPeakResident();
    Creator creator(records, (folder / "Zedid-Ovuzazur").string(), true);
    bool written = false;
    const double seconds = secondsOf([&] { written = creator.startConvert(); });
    const double target = count >= 100000 ? 8.0 * count / 100000 : 0;
    reporter.step(std::string(format) + ", " + std::to_string(count) + " contacts", seconds, count, target);
    if (!written) {
      std::printf("  %s export failed: %s\n", format, creator.error().c_str());
      ++reporter.failures;
    } else {
      std::error_code ec;
      std::printf("  %-44s %8.1f MB\n", (std::string(format) + " file size").c_str(),
                  std::filesystem::file_size(creator.outputPath(), ec) / 1e6);
      std::filesystem::remove(creator.outputPath(), ec);
    }
    if (peakResidentMegabytes() > 1024) {
      std::printf("  %s used more than 1 GB of memory\n", format);
      ++reporter.failures;
    }
    if (count == contacts) break;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

void runIWork(std::size_t contacts, BenchReporter& reporter) {
  runFormat<NumbersCreator>("numbers", contacts, reporter);
  runFormat<PagesCreator>("pages", contacts, reporter);
}

const BenchRegistration registration("iwork", 70, runIWork);

}  // namespace
