#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/export/BlockFile.h"

// Text formatted away from the file: one chunk of rows.
class ChunkText {
 public:
  void append(std::string_view text) { text_ += text; }
  void append(char c) { text_ += c; }
  void flushIfFull() {}
  void clear() { text_.clear(); }
  // Copies the chunk into the file in pieces of at most one block.
  void copyTo(BlockFile& file) const {
    std::string_view rest = text_;
    while (!rest.empty()) {
      const size_t n = std::min(rest.size(), BlockFile::kBlockSize / 2);
      file.append(rest.substr(0, n));
      file.flushIfFull();
      rest.remove_prefix(n);
    }
  }

 private:
  std::string text_;
};

// Formats `count` rows into the file in their order, on two threads: the calling thread formats
// the even chunks of `chunkRows` rows straight into the file, a second thread the odd ones into one
// of two chunk buffers, which the calling thread copies in when their turn comes. Besides the
// file's own blocks at most two chunks are held, whatever the number of rows.
// format(sink, begin, end) writes rows [begin, end) into sink (a BlockFile or a ChunkText); it is
// called from both threads at once and must only read what they share.
template <typename Format>
void formatInOrder(BlockFile& file, size_t count, size_t chunkRows, Format format) {
  const size_t chunks = chunkRows ? (count + chunkRows - 1) / chunkRows : 0;
  if (chunks < 4) {
    format(file, 0, count);
    return;
  }
  struct Slot {
    ChunkText text;
    bool ready = false;  // formatted and not yet copied
  };
  Slot slots[2];
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  auto rows = [&](size_t chunk, auto& sink) {
    format(sink, chunk * chunkRows, std::min(count, (chunk + 1) * chunkRows));
  };
  std::thread helper;
  try {
    helper = std::thread([&] {
      for (size_t chunk = 1, odd = 0; chunk < chunks; chunk += 2, ++odd) {
        Slot& slot = slots[odd % 2];
        {
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return !slot.ready || stop; });
          if (stop) return;
        }
        slot.text.clear();
        rows(chunk, slot.text);
        {
          std::lock_guard lock(mutex);
          slot.ready = true;
        }
        changed.notify_all();
      }
    });
  } catch (const std::system_error&) {
    format(file, 0, count);  // no second thread: every row on this one
    return;
  }
  // Ends the helper whatever happens on this thread.
  struct Join {
    std::thread& helper;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stop;
    ~Join() {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      changed.notify_all();
      helper.join();
    }
  } join{helper, mutex, changed, stop};
  for (size_t chunk = 0, odd = 0; chunk < chunks; ++chunk) {
    if (chunk % 2 == 0) {
      rows(chunk, file);
      continue;
    }
    Slot& slot = slots[odd++ % 2];
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return slot.ready; });
    }
    slot.text.copyTo(file);
    {
      std::lock_guard lock(mutex);
      slot.ready = false;
    }
    changed.notify_all();
  }
}
