#include "platform/threads/ParallelFor.h"

#include <gtest/gtest.h>

#include <atomic>
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
