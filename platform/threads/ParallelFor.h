#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

// The one way this program spreads independent work over the cores: work(begin, end) is called for
// contiguous ranges that together cover [0, count), at most one range per core and each at least
// minimumPerRange long (so small jobs stay on the calling thread, where they cost nothing to start).
// The first range runs on the calling thread, and so do those for which no thread can be made. Returns when every range
// is done; an exception thrown by any range is thrown again here, after all have finished.
template <typename Work>
void parallelFor(std::size_t count, std::size_t minimumPerRange, Work&& work) {
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t ranges = std::clamp<std::size_t>(count / std::max<std::size_t>(minimumPerRange, 1), 1, cores);
  if (ranges == 1) {
    if (count > 0) work(std::size_t{0}, count);
    return;
  }
  std::vector<std::exception_ptr> failures(ranges);
  std::vector<std::thread> helpers;
  helpers.reserve(ranges - 1);
  auto range = [&](std::size_t index) {
    const std::size_t begin = count * index / ranges, end = count * (index + 1) / ranges;
    try {
      work(begin, end);
    } catch (...) {
      failures[index] = std::current_exception();
    }
  };
  std::size_t next = 1;
  for (; next < ranges; ++next) {
    try {
      helpers.emplace_back(range, next);
    } catch (const std::exception&) {
      break;  // no thread to be had (a process limit, no memory for its stack): this one does the rest
    }
  }
  range(0);
  for (; next < ranges; ++next) range(next);
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}
