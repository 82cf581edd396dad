#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/AddressBookGenerator.h"
#include "bench/BenchProcess.h"
#include "bench/BenchRegistry.h"

namespace {

// The same contacts imported by the command line from a vCard file and from the Google CSV file the
// program exports of them, each into a new store: the CSV import takes at most as long.
void runCsvImportBench(std::size_t contacts, BenchReporter& reporter) {
  const std::filesystem::path rolvane = rolvaneProgram();
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-csv-bench-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "out");
  const auto vcf = dir / "contacts.vcf";
  std::ofstream(vcf, std::ios::binary) << generateAddressBookVCard(contacts, 1);
  auto fail = [&](const char* what, const ProcessRun& run) {
    std::printf("  %s failed: %s\n", what, run.errors.c_str());
    ++reporter.failures;
    std::filesystem::remove_all(dir);
  };
  const std::string source = (dir / "source.sqlite").string();
  ProcessRun run = runProcess({rolvane.string(), "--store", source, "import", vcf.string()}, true);
  if (!run.ok) return fail("the vCard import", run);
  run = runProcess(
      {rolvane.string(), "--store", source, "export", "--format", "google-csv", "--to", (dir / "out").string()});
  if (!run.ok) return fail("the Google CSV export", run);
  const std::string csv = run.output.substr(0, run.output.find('\n'));

  ProcessRun fromVCard =
      runProcess({rolvane.string(), "--store", (dir / "vcard.sqlite").string(), "import", vcf.string()}, true);
  if (!fromVCard.ok) return fail("the vCard import", fromVCard);
  ProcessRun fromCsv = runProcess({rolvane.string(), "--store", (dir / "csv.sqlite").string(), "import", csv}, true);
  if (!fromCsv.ok) return fail("the Google CSV import", fromCsv);
  reporter.report(
      {"rolvane import of Google CSV into a new store", fromCsv.seconds, contacts, fromCsv.peakMegabytes, true, 0, 1.0,
       0, BenchReference{"rolvane import of the same contacts as vCard", fromVCard.seconds, fromVCard.peakMegabytes}});
  std::printf("    (%s of Google CSV, %s of vCard)\n", byteText(bytesOf(csv)).c_str(), byteText(bytesOf(vcf)).c_str());
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("csv import", 12, runCsvImportBench);

}  // namespace
