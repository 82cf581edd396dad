#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "bench/AddressBookGenerator.h"
#include "bench/BenchRegistry.h"

std::vector<BenchSection>& benchSections() {
  static std::vector<BenchSection> sections;
  return sections;
}

double peakResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

void resetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

void BenchReporter::step(const std::string& name, double seconds, std::size_t items, double targetSeconds) {
  double rate = seconds > 0 ? items / seconds : 0;
  bool slow = targetSeconds > 0 && seconds > targetSeconds;
  if (slow) ++failures;
  std::printf("  %-44s %8.3f s  %12.0f items/s  peak %7.1f MB", name.c_str(), seconds, rate, peakResidentMegabytes());
  if (targetSeconds > 0) std::printf("  (target %.2f s%s)", targetSeconds, slow ? ", MISSED" : "");
  std::printf("\n");
  std::fflush(stdout);
}

namespace {

// Runs one section in a child process, so that its peak memory and the state of the heap are its
// own and not what earlier sections left behind. Returns the number of steps that missed.
int runInOwnProcess(const BenchSection& section, std::size_t contacts) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("rolvane-bench: fork");
    return 1;
  }
  if (child == 0) {
    BenchReporter reporter;
    section.run(contacts, reporter);
    std::fflush(stdout);
    _exit(std::min(reporter.failures, 100));
  }
  int status = 0;
  if (waitpid(child, &status, 0) < 0 || !WIFEXITED(status)) {
    std::printf("  the section ended abnormally\n");
    return 1;
  }
  return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t contacts = 100000;
  std::string only;
  std::string writeTo;  // only writes the generated address book there
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "-n" || arg == "--contacts") && i + 1 < argc) {
      contacts = std::strtoul(argv[++i], nullptr, 10);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (arg == "--write-vcard" && i + 1 < argc) {
      writeTo = argv[++i];
    } else {
      std::cerr << "usage: rolvane-bench [-n CONTACTS] [--only SECTION] [--write-vcard FILE]\n";
      return 2;
    }
  }
  if (!writeTo.empty()) {
    std::ofstream out(writeTo, std::ios::binary);
    out << generateAddressBookVCard(contacts);
    out.close();
    if (!out) {
      std::cerr << "rolvane-bench: cannot write " << writeTo << "\n";
      return 1;
    }
    return 0;
  }
  auto sections = benchSections();
  std::sort(sections.begin(), sections.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
  int failures = 0;
  for (const auto& section : sections) {
    if (!only.empty() && section.name != only) continue;
    std::printf("%s (%zu contacts)\n", section.name.c_str(), contacts);
    failures += runInOwnProcess(section, contacts);
  }
  if (failures) std::printf("%d step(s) missed their target\n", failures);
  return 0;
}
