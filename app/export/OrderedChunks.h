#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "app/export/BlockFile.h"

// Text formatted away from the file: one chunk of rows.
class ChunkText {
 public:
  void append(std::string_view text) { text_ += text; }
  void append(char c) { text_ += c; }
  void flushIfFull() {}
  void clear() { text_.clear(); }
  // Copies the chunk into the file in pieces of at most one block; a chunk of a block or more is
  // written to the file as it is.
  void copyTo(BlockFile& file) const {
    if (text_.size() >= kWrittenThrough) {
      file.writeThrough(text_);
      return;
    }
    std::string_view rest = text_;
    while (!rest.empty()) {
      const size_t n = std::min(rest.size(), BlockFile::kBlockSize / 2);
      file.append(rest.substr(0, n));
      file.flushIfFull();
      rest.remove_prefix(n);
    }
  }

 private:
  static constexpr size_t kWrittenThrough = BlockFile::kBlockSize / 2;
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

// Formats pieces of work handed in one after another (batches of rows as they are read) on a
// thread per core while they are still being handed in, and copies each piece's text into the
// file in the order the pieces came. At most a few pieces per thread are held at once (waiting,
// being formatted, or formatted and waiting for their turn): add() waits while that many are.
// Every thread has a State of its own (default-constructed there), for what formatting reuses from
// row to row. format(state, piece, text) appends the piece's rows to text and returns true, or
// false to stop: no piece is formatted after that one is, nothing more is copied into the file,
// and add() refuses more pieces. An exception thrown by format stops it the same way and is thrown
// again by finish().
template <typename Piece, typename State>
class OrderedFormatter {
 public:
  using Format = std::function<bool(State&, const Piece&, ChunkText&)>;

  OrderedFormatter(BlockFile& file, Format format)
      : file_(file), format_(std::move(format)), ring_(kPiecesPerThread * threadCount()) {
    const size_t threads = threadCount();
    for (size_t i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        break;  // fewer threads; none at all: add() formats each piece itself
      }
    }
  }
  ~OrderedFormatter() {
    stop();
    for (std::thread& worker : workers_) worker.join();
  }
  OrderedFormatter(const OrderedFormatter&) = delete;
  OrderedFormatter& operator=(const OrderedFormatter&) = delete;

  // Hands in the next piece; false when formatting has stopped.
  bool add(Piece piece) {
    std::unique_lock lock(mutex_);
    if (workers_.empty()) {
      if (stopped_) return false;
      Slot& slot = ring_[0];
      slot.text.clear();
      lock.unlock();
      const bool ok = formatOne(inlineState_, piece, slot.text);
      lock.lock();
      if (!ok) {
        stopped_ = true;
        return false;
      }
      slot.text.copyTo(file_);
      return true;
    }
    changed_.wait(lock, [&] { return added_ - copied_ < ring_.size() || stopped_; });
    if (stopped_) return false;
    Slot& slot = ring_[added_ % ring_.size()];
    slot.piece = std::move(piece);
    slot.formatted = false;
    ++added_;
    changed_.notify_all();
    return true;
  }

  // Waits until every piece handed in is formatted and in the file, or formatting has stopped and
  // the pieces being formatted are done. False when it stopped; throws what format threw.
  bool finish() {
    std::unique_lock lock(mutex_);
    closed_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return copied_ == added_ || (stopped_ && formatting_ == 0 && !copying_); });
    if (failure_) std::rethrow_exception(failure_);
    return !stopped_;
  }

 private:
  static constexpr size_t kPiecesPerThread = 3;

  struct Slot {
    Piece piece;
    ChunkText text;  // kept from piece to piece, so its room is reused
    bool formatted = false;
  };

  static size_t threadCount() { return std::max(1u, std::thread::hardware_concurrency()); }

  bool formatOne(State& state, const Piece& piece, ChunkText& text) {
    try {
      return format_(state, piece, text);
    } catch (...) {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      return false;
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = closed_ = true;
    }
    changed_.notify_all();
  }

  void work() {
    State state;
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return taken_ < added_ || closed_ || stopped_; });
      if (stopped_ || taken_ == added_) {
        if (stopped_ || closed_) return;
        continue;
      }
      const size_t seq = taken_++;
      Slot& slot = ring_[seq % ring_.size()];
      ++formatting_;
      lock.unlock();
      slot.text.clear();
      const bool ok = formatOne(state, slot.piece, slot.text);
      lock.lock();
      --formatting_;
      slot.formatted = true;
      if (!ok) stopped_ = true;
      // The thread that formats the piece whose turn it is copies it in, and the formatted pieces
      // after it; the others go on formatting meanwhile.
      while (!stopped_ && !copying_ && copied_ < added_ && ring_[copied_ % ring_.size()].formatted) {
        copying_ = true;
        Slot& next = ring_[copied_ % ring_.size()];
        lock.unlock();
        next.piece = Piece();  // lets go of the piece before its text is copied
        next.text.copyTo(file_);
        lock.lock();
        next.formatted = false;
        ++copied_;
        copying_ = false;
      }
      changed_.notify_all();
    }
  }

  BlockFile& file_;
  Format format_;
  std::vector<Slot> ring_;  // piece n in ring_[n % size]
  std::vector<std::thread> workers_;
  State inlineState_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t added_ = 0, taken_ = 0, copied_ = 0;
  size_t formatting_ = 0;
  bool copying_ = false;
  bool closed_ = false;
  bool stopped_ = false;
  std::exception_ptr failure_;
};
