// The command line as a user runs it: each step is the rolvane program run on its own, timed with
// its peak memory as /usr/bin/time reports them, beside what a user would otherwise run on the
// same data in the same run.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app/model/PersonRecord.h"
#include "app/scanner/ScanConditions.h"
#include "bench/AddressBookGenerator.h"
#include "bench/BenchProcess.h"
#include "bench/BenchRegistry.h"
#include "bench/XlsxReference.h"
#include "core/record/AllInfoColumns.h"
#include "platform/addressbook/ABAddressBook.h"

namespace fs = std::filesystem;

namespace {

// A program of the same job written with libxlsxwriter: opens the store, builds the records and
// writes the all-information cells, in a process of its own.
std::optional<BenchReference> libxlsxwriterProgram(const fs::path& store, const fs::path& folder) {
  if (!haveLibxlsxwriter()) return std::nullopt;
  const fs::path target = folder / "libxlsxwriter-reference.xlsx";
  std::fflush(stdout);
  ::sync();  // as before every program the benchmark times
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    auto book = ABAddressBook::open(store);
    if (!book) _exit(1);
    const ContactRecords records = recordsOfAddressBook(*book);
    _exit(writeWithLibxlsxwriter(records, AllInfoColumns::spreadsheet(), target.string()) ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  const bool waited = child > 0 && wait4(child, &status, 0, &usage) == child;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::error_code ec;
  fs::remove(target, ec);
  if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return BenchReference{"libxlsxwriter program (store, records, same cells)", seconds, usage.ru_maxrss / 1024.0};
}

void run(std::size_t contacts, BenchReporter& reporter) {
  const fs::path rolvane = rolvaneProgram();
  if (!fs::exists(rolvane)) {
    std::printf("  %s is missing: build the program first\n", rolvane.c_str());
    ++reporter.failures;
    return;
  }
  const fs::path folder = fs::temp_directory_path() / ("rolvane-bench-commands-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path vcf = folder / "book.vcf";
  std::ofstream(vcf, std::ios::binary) << generateAddressBookVCard(contacts);
  const fs::path store = folder / "book.sqlite";
  const double scale = targetScale(contacts);
  // The memory targets are those of 100,000 contacts and hold from there on.
  const double megabytes = contacts >= 100000 ? 150 : 0;
  const std::vector<std::string> withStore = {rolvane.string(), "--store", store.string()};
  auto command = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = withStore;
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  };
  auto failed = [&](const char* what, const ProcessRun& process) {
    std::printf("  %s failed: %s\n", what, process.errors.c_str());
    ++reporter.failures;
  };

  const ProcessRun import = runProcess(command({"import", vcf.string()}), true);
  if (!import.ok) {
    failed("rolvane import", import);
    fs::remove_all(folder);
    return;
  }
  BenchFigure importFigure{"rolvane import", import.seconds,     contacts, import.peakMegabytes, true, 0.4 * scale, 0,
                           megabytes,        vobjectParsing(vcf)};
  reporter.report(importFigure);

  const ProcessRun scan = runProcess(command({"scan", "--json"}), true);
  if (!scan.ok) failed("rolvane scan --json", scan);
  reporter.report({"rolvane scan --json", scan.seconds, contacts, scan.peakMegabytes, true, 0.25 * scale, 0, megabytes,
                   std::nullopt});
  // The thirteen conditions the scan had before "Similar contacts" and the two phone conditions
  // came: the figure the scan's target was set for.
  std::vector<std::string> thirteen = {"scan", "--json"};
  for (size_t c = 0; c < 13; ++c) {
    thirteen.push_back("--condition");
    thirteen.push_back(scanConditions()[c].name);
  }
  const ProcessRun scan13 = runProcess(command(thirteen), true);
  if (!scan13.ok) failed("rolvane scan --json, 13 conditions", scan13);
  reporter.report({"rolvane scan --json, 13 conditions", scan13.seconds, contacts, scan13.peakMegabytes, true,
                   0.25 * scale, 0, megabytes, std::nullopt});

  const char* formats[] = {"csv", "txt", "html", "xlsx", "docx", "numbers", "pages", "vcard"};
  for (const char* format : formats) {
    const fs::path out = folder / format;
    fs::create_directories(out);
    const ProcessRun exported =
        runProcess(command({"export", "--format", format, "--to", out.string(), "--all-info"}), true);
    const std::string name = std::string("rolvane export --format ") + format + " --all-info";
    if (!exported.ok) failed(name.c_str(), exported);
    const std::uintmax_t bytes = bytesOf(out);
    // The time until the HTML file is on the disk, as dd's reference below: taken at once, before
    // the references write anything.
    std::optional<double> toDisk;
    if (std::string_view(format) == "html" && exported.ok) toDisk = secondsToDisk(out);
    BenchFigure figure{name, exported.seconds, contacts, exported.peakMegabytes, true, 0, 0, megabytes, std::nullopt};
    const std::string format_ = format;
    if (format_ == "csv") {
      figure.reference = pythonCsvWriting(out / "Zedid-Ovuzazur.csv", folder);
      figure.targetRatio = 0.5;
    } else if (format_ == "html") {
      figure.reference = ddWriting(folder, bytes);
      figure.targetRatio = 1.2;
    } else if (format_ == "txt") {
      figure.reference = ddWriting(folder, bytes);
    } else if (format_ == "xlsx") {
      figure.reference = libxlsxwriterProgram(store, folder);
      figure.targetRatio = 0.8;
    } else if (format_ == "vcard") {
      figure.reference = creatingFilesLike(out / "Zedid-Ovuzazur");  // the new folder of the cards
    }
    reporter.report(figure);
    std::printf("    written: %s\n", byteText(bytes).c_str());
    // Both the export and dd write into the page cache; when nothing else holds dirty pages the kernel
    // takes dd's bytes at memory speed, not the disk's. The same two, each until its bytes are on the
    // disk, compare them at the disk's speed.
    if (std::string_view(format) == "html" && exported.ok) {
      if (!toDisk) {
        std::printf("  syncing the HTML export failed\n");
        ++reporter.failures;
      } else {
        BenchFigure onDisk{name + ", until on disk",
                           exported.seconds + *toDisk,
                           contacts,
                           exported.peakMegabytes,
                           true,
                           0,
                           1.2,
                           megabytes,
                           ddWriting(folder, bytes, true)};
        reporter.report(onDisk);
      }
    }
    fs::remove_all(out);
  }
  fs::remove_all(folder);
}

const BenchRegistration registration("command line, whole processes", 5, run);

}  // namespace
