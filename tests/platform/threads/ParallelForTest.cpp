#include "platform/threads/ParallelFor.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <utility>

// Every index is covered exactly once, by contiguous ranges, whatever the count and the grain.
TEST(ParallelFor, CoversEveryIndexOnceInContiguousRanges) {
  for (std::size_t count : {0u, 1u, 7u, 999u, 1000u, 1001u, 20000u}) {
    for (std::size_t grain : {0u, 1u, 100u, 5000u}) {
      std::vector<std::atomic<int>> hits(count);
      std::mutex lock;
      std::vector<std::pair<std::size_t, std::size_t>> ranges;
      parallelFor(count, grain, [&](std::size_t begin, std::size_t end) {
        {
          std::lock_guard<std::mutex> guard(lock);
          ranges.emplace_back(begin, end);
        }
        for (std::size_t i = begin; i < end; ++i) ++hits[i];
      });
      for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(hits[i], 1) << count << "/" << grain << " at " << i;
      for (const auto& [begin, end] : ranges) {
        EXPECT_LT(begin, end);
        if (ranges.size() > 1) {
          EXPECT_GE(end - begin, grain) << count << "/" << grain;
        }
      }
      EXPECT_LE(ranges.size(), std::max(1u, std::thread::hardware_concurrency()));
    }
  }
}

// A range that fails does not leave others running: the failure comes out once all are done.
TEST(ParallelFor, AFailureComesOutAfterEveryRangeHasFinished) {
  std::atomic<std::size_t> done{0};
  EXPECT_THROW(parallelFor(100000, 10,
                           [&](std::size_t begin, std::size_t end) {
                             if (begin == 0) throw std::runtime_error("first range failed");
                             done += end - begin;
                           }),
               std::runtime_error);
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (cores > 1) {
    EXPECT_EQ(done.load(), 100000 - 100000 / cores);
  }
}

// When no thread can be made (here: no address space left for a thread's stack), the calling thread
// does every range itself instead of the process ending.
namespace {

[[noreturn]] void coverEveryIndexWithoutRoomForThreads() {
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  std::vector<std::atomic<int>> hits(4096);
  const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (1 << 20);
  const rlimit limit{room, room};
  if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
  parallelFor(hits.size(), 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) ++hits[i];
  });
  for (const auto& hit : hits)
    if (hit != 1) std::_Exit(2);
  std::_Exit(0);
}

}  // namespace

TEST(ParallelFor, WithoutThreadsTheCallingThreadDoesEveryRange) {
  // A child of its own, not a fork of this process: the stacks of earlier threads are not kept.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(coverEveryIndexWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}
