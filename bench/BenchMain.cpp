#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

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

namespace {

// Every figure a section reports goes, besides the screen, as one line into this file, so the
// parent process can sum up several runs.
int resultsFd = -1;

std::string clean(std::string text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// The figure's verdict: empty when it met its targets, else what it missed.
std::string missed(const BenchFigure& f) {
  std::string why;
  if (f.targetSeconds > 0 && f.seconds > f.targetSeconds) why += "time";
  if (f.targetRatio > 0 && f.reference && f.reference->seconds > 0 && f.seconds > f.targetRatio * f.reference->seconds)
    why += why.empty() ? "ratio" : ", ratio";
  if (f.targetMegabytes > 0 && f.peakMegabytes > f.targetMegabytes) why += why.empty() ? "memory" : ", memory";
  return why;
}

std::string targetText(const BenchFigure& f) {
  std::string text;
  char part[64];
  if (f.targetSeconds > 0) {
    std::snprintf(part, sizeof part, "%.2f s", f.targetSeconds);
    text += part;
  }
  if (f.targetRatio > 0) {
    std::snprintf(part, sizeof part, "%s%.2f× ref", text.empty() ? "" : ", ", f.targetRatio);
    text += part;
  }
  if (f.targetMegabytes > 0) {
    std::snprintf(part, sizeof part, "%s%.0f MB", text.empty() ? "" : ", ", f.targetMegabytes);
    text += part;
  }
  return text;
}

double ratioOf(const BenchFigure& f) {
  return f.reference && f.reference->seconds > 0 ? f.seconds / f.reference->seconds : 0;
}

void print(const BenchFigure& f) {
  double rate = f.seconds > 0 ? f.items / f.seconds : 0;
  std::printf("  %-46s %8.3f s  %11.0f items/s  peak %7.1f MB%s", f.name.c_str(), f.seconds, rate, f.peakMegabytes,
              f.wholeProcess ? " (process)" : "");
  const std::string target = targetText(f);
  const std::string why = missed(f);
  if (!target.empty()) std::printf("  (target %s%s%s)", target.c_str(), why.empty() ? "" : ", MISSED ", why.c_str());
  std::printf("\n");
  if (f.reference) {
    std::printf("    reference: %-43s %8.3f s", f.reference->name.c_str(), f.reference->seconds);
    if (f.reference->peakMegabytes > 0) std::printf("  peak %7.1f MB", f.reference->peakMegabytes);
    if (ratioOf(f) > 0) std::printf("  ratio %.2f", ratioOf(f));
    std::printf("\n");
  }
  std::fflush(stdout);
}

void record(const std::string& section, const BenchFigure& f) {
  if (resultsFd < 0) return;
  std::ostringstream line;
  line << clean(section) << '\t' << clean(f.name) << '\t' << f.seconds << '\t' << f.items << '\t' << f.peakMegabytes
       << '\t' << f.wholeProcess << '\t' << f.targetSeconds << '\t' << f.targetRatio << '\t' << f.targetMegabytes
       << '\t' << (f.reference ? clean(f.reference->name) : "") << '\t' << (f.reference ? f.reference->seconds : 0)
       << '\t' << (f.reference ? f.reference->peakMegabytes : 0) << '\n';
  const std::string text = line.str();
  if (::write(resultsFd, text.data(), text.size()) < 0) std::perror("rolvane-bench: results");
}

}  // namespace

void BenchReporter::report(BenchFigure figure) {
  if (figure.peakMegabytes < 0) figure.peakMegabytes = peakResidentMegabytes();
  if (!missed(figure).empty()) ++failures;
  print(figure);
  record(section, figure);
}

void BenchReporter::step(const std::string& name, double seconds, std::size_t items, double targetSeconds) {
  BenchFigure figure;
  figure.name = name;
  figure.seconds = seconds;
  figure.items = items;
  figure.targetSeconds = targetSeconds;
  report(std::move(figure));
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
    reporter.section = section.name;
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

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  file >> one >> five >> fifteen;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The figures of every run of one step, and their medians.
struct Summary {
  std::string section;
  BenchFigure figure;  // medians; the reference's name from the first run
  std::vector<double> seconds, peaks, referenceSeconds, referencePeaks, ratios;
  int runs = 0;
};

std::vector<Summary> summarise(const std::string& resultsPath) {
  std::vector<Summary> summaries;
  std::map<std::pair<std::string, std::string>, size_t> at;
  std::ifstream file(resultsPath);
  std::string line;
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    if (fields.size() < 12) continue;
    auto key = std::make_pair(fields[0], fields[1]);
    auto found = at.find(key);
    if (found == at.end()) {
      found = at.emplace(key, summaries.size()).first;
      Summary summary;
      summary.section = fields[0];
      summary.figure.name = fields[1];
      summary.figure.items = std::strtoull(fields[3].c_str(), nullptr, 10);
      summary.figure.wholeProcess = fields[5] == "1";
      summary.figure.targetSeconds = std::strtod(fields[6].c_str(), nullptr);
      summary.figure.targetRatio = std::strtod(fields[7].c_str(), nullptr);
      summary.figure.targetMegabytes = std::strtod(fields[8].c_str(), nullptr);
      if (!fields[9].empty()) summary.figure.reference = BenchReference{fields[9], 0, 0};
      summaries.push_back(std::move(summary));
    }
    Summary& s = summaries[found->second];
    ++s.runs;
    const double seconds = std::strtod(fields[2].c_str(), nullptr);
    s.seconds.push_back(seconds);
    s.peaks.push_back(std::strtod(fields[4].c_str(), nullptr));
    if (!fields[9].empty()) {
      const double referenceSeconds = std::strtod(fields[10].c_str(), nullptr);
      s.referenceSeconds.push_back(referenceSeconds);
      s.referencePeaks.push_back(std::strtod(fields[11].c_str(), nullptr));
      if (referenceSeconds > 0) s.ratios.push_back(seconds / referenceSeconds);
    }
  }
  for (auto& s : summaries) {
    s.figure.seconds = median(s.seconds);
    s.figure.peakMegabytes = median(s.peaks);
    if (s.figure.reference) {
      s.figure.reference->seconds = median(s.referenceSeconds);
      s.figure.reference->peakMegabytes = median(s.referencePeaks);
    }
  }
  return summaries;
}

std::string cellNumber(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void writeMarkdown(std::ostream& out, const std::vector<Summary>& summaries, std::size_t contacts, int runs,
                   const std::string& loadBefore, const std::string& loadAfter) {
  out << "Benchmark, " << contacts << " contacts, "
      << (runs > 1 ? "median of " + std::to_string(runs) + " runs" : "one run") << "; load average (1, 5, 15 min) "
      << loadBefore << " before, " << loadAfter << " after.\n\n";
  out << "| section | step | time | peak memory | reference, same run | reference time | reference peak | ratio | "
         "target "
         "|\n";
  out << "|---|---|---:|---:|---|---:|---:|---:|---|\n";
  for (const auto& s : summaries) {
    const BenchFigure& f = s.figure;
    const std::string why = missed(f);
    std::string target = targetText(f);
    if (!target.empty() && !why.empty()) target += " **missed**";
    out << "| " << s.section << " | " << f.name << " | " << cellNumber("%.3f s", f.seconds) << " | "
        << cellNumber("%.0f MB", f.peakMegabytes) << (f.wholeProcess ? " (process)" : "") << " | ";
    if (f.reference) {
      out << f.reference->name << " | " << cellNumber("%.3f s", f.reference->seconds) << " | "
          << (f.reference->peakMegabytes > 0 ? cellNumber("%.0f MB", f.reference->peakMegabytes) : "") << " | "
          << (s.ratios.empty() ? "" : cellNumber("%.2f", median(s.ratios))) << " | ";
    } else {
      out << " | | | | ";
    }
    out << target << " |\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t contacts = 100000;
  int runs = 1;
  std::string only;
  std::string writeTo;  // only writes the generated address book there
  std::string markdown;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "-n" || arg == "--contacts") && i + 1 < argc) {
      contacts = std::strtoul(argv[++i], nullptr, 10);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--markdown" && i + 1 < argc) {
      markdown = argv[++i];
    } else if (arg == "--write-vcard" && i + 1 < argc) {
      writeTo = argv[++i];
    } else {
      std::cerr << "usage: rolvane-bench [-n CONTACTS] [--only SECTION] [--runs N] [--markdown FILE]\n"
                   "       rolvane-bench [-n CONTACTS] --write-vcard FILE\n"
                   "--runs N runs every section N times and sums up each figure by its median; --markdown FILE\n"
                   "writes that table in Markdown.\n";
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
  char resultsPath[] = "/tmp/rolvane-bench-results-XXXXXX";
  resultsFd = ::mkstemp(resultsPath);
  if (resultsFd < 0) std::perror("rolvane-bench: results file");
  auto sections = benchSections();
  std::sort(sections.begin(), sections.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
  const std::string loadBefore = loadAverage();
  std::printf("load average %s\n", loadBefore.c_str());
  for (int run = 1; run <= runs; ++run) {
    if (runs > 1) std::printf("run %d of %d (load average %s)\n", run, runs, loadAverage().c_str());
    for (const auto& section : sections) {
      if (!only.empty() && section.name != only) continue;
      std::printf("%s (%zu contacts)\n", section.name.c_str(), contacts);
      runInOwnProcess(section, contacts);
    }
  }
  const std::string loadAfter = loadAverage();
  std::printf("load average %s\n", loadAfter.c_str());
  const std::vector<Summary> summaries = resultsFd >= 0 ? summarise(resultsPath) : std::vector<Summary>{};
  if (resultsFd >= 0) {
    ::close(resultsFd);
    ::unlink(resultsPath);
  }
  int failures = 0;
  for (const auto& s : summaries)
    if (!missed(s.figure).empty()) ++failures;
  if (runs > 1) {
    std::printf("\nmedians of %d runs\n", runs);
    std::string section;
    for (const auto& s : summaries) {
      if (s.section != section) std::printf("%s\n", (section = s.section).c_str());
      print(s.figure);
    }
  }
  if (!markdown.empty()) {
    std::ofstream out(markdown);
    writeMarkdown(out, summaries, contacts, runs, loadBefore, loadAfter);
    if (!out) {
      std::cerr << "rolvane-bench: cannot write " << markdown << "\n";
      return 1;
    }
    std::printf("table written to %s\n", markdown.c_str());
  }
  if (failures) std::printf("%d step(s) missed their target%s\n", failures, runs > 1 ? " (by their medians)" : "");
  return 0;
}
