#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a user would otherwise run on the same data, measured in the same run as the step it is
// compared with: python3-vobject parsing the same file, dd writing as many bytes to the same folder,
// libxlsxwriter writing the same cells, creating as many files.
struct BenchReference {
  std::string name;
  double seconds = 0;
  double peakMegabytes = 0;  // 0 when not measured
};

// One measured step.
struct BenchFigure {
  std::string name;
  double seconds = 0;
  std::size_t items = 0;
  // Peak resident memory of what ran; below 0, this process's peak at the moment of reporting.
  double peakMegabytes = -1;
  bool wholeProcess = false;   // the figure is that of a program run on its own (time and memory)
  double targetSeconds = 0;    // 0: no target in seconds
  double targetRatio = 0;      // 0: no target; else at most this many times the reference's time
  double targetMegabytes = 0;  // 0: no target for memory
  std::optional<BenchReference> reference;
};

// A section of the benchmark program: given the number of contacts, it measures and reports its own
// figures through the reporter.
struct BenchReporter {
  // One measured step: its name, seconds, how many items it handled and the target in seconds
  // (0 when it has none). Peak resident memory is read at the moment of the call.
  void step(const std::string& name, double seconds, std::size_t items, double targetSeconds = 0);
  // A step with everything it has: its own peak, a reference, targets.
  void report(BenchFigure figure);
  int failures = 0;
  std::string section;
};

using BenchFunction = std::function<void(std::size_t contacts, BenchReporter& reporter)>;

struct BenchSection {
  std::string name;
  int order;  // sections run in increasing order
  BenchFunction run;
};

std::vector<BenchSection>& benchSections();

struct BenchRegistration {
  BenchRegistration(std::string name, int order, BenchFunction run) {
    benchSections().push_back({std::move(name), order, std::move(run)});
  }
};

// Wall-clock seconds taken by fn.
template <typename Fn>
double secondsOf(Fn&& fn) {
  auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory of this process so far, in megabytes.
double peakResidentMegabytes();
// Resets the peak to the current resident size where the kernel allows it (Linux clear_refs).
void resetPeakResident();

// How much a target in seconds, set for 100,000 contacts, grows for this many: in proportion above
// 100,000, not at all below (where fixed costs dominate).
inline double targetScale(std::size_t contacts) {
  return contacts > 100000 ? contacts / 100000.0 : 1.0;
}
