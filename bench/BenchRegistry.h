#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A section of the benchmark program: given the number of contacts, it measures and reports its own
// figures through the reporter.
struct BenchReporter {
  // One measured step: its name, seconds, how many items it handled and the target in seconds
  // (0 when it has none). Peak resident memory is read at the moment of the call.
  void step(const std::string& name, double seconds, std::size_t items, double targetSeconds = 0);
  int failures = 0;
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
