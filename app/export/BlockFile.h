#pragma once

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "app/export/ExportResult.h"
#include "frameworks/common/OutputFile.h"

// Collects output in large blocks and writes each full block to the file on a thread of its own
// while the caller fills the next one, so that formatting and the kernel's copying overlap. The
// thread starts with the first full block: a small file is written by finish() alone.
// Blocks are kept small enough to stay in the processor's cache between being filled and being
// copied by the kernel: larger blocks make the copy read from memory and the export slower.
// Every kWriteBackStep bytes written, the kernel is asked to start writing them to the disk, so a
// large file goes to the disk while the rest of it is being formatted, not all after the export
// (or in close(), where ext4 starts writing a file that was opened empty with O_TRUNC); it also
// leaves no gigabyte of dirty pages behind for whoever syncs next.
class BlockFile {
 public:
  static constexpr size_t kBlockSize = size_t(512) << 10;
  static constexpr size_t kWriteBackStep = size_t(8) << 20;

  // Opens path for writing, replacing what it held or creating it.
  explicit BlockFile(const std::string& path);
  ~BlockFile();
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  void append(std::string_view text) {
    if (text.size() > static_cast<size_t>(limit_ - end_)) makeRoom(text.size());
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
  }
  void append(char c) {
    if (end_ == limit_) makeRoom(1);
    *end_++ = c;
  }
  // Room for n bytes at the returned position; the caller writes at most n and passes the new end
  // to commitTo().
  char* reserve(size_t n) {
    if (n > static_cast<size_t>(limit_ - end_)) makeRoom(n);
    return end_;
  }
  void commitTo(char* end) { end_ = end; }

  // Writes text after everything appended so far, straight from where it is, on the calling
  // thread: for a large piece formatted elsewhere, which a copy into a block would only move
  // through the cache once more.
  void writeThrough(std::string_view text);

  // Hands the block to the writing thread once it is full; call between rows.
  void flushIfFull() {
    if (static_cast<size_t>(end_ - current_->data.get()) >= kBlockSize) handOver();
  }

  // Writes the rest and closes; false when opening or any write failed.
  bool finish();

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    size_t capacity = 0;
    size_t size = 0;
  };

  void makeRoom(size_t n);
  void handOver();
  void writeLoop();
  // Writes on whichever thread has the turn (the writing thread, a writeThrough() caller, or
  // finish()), one at a time.
  bool writeAll(const char* data, size_t size);
  // Asks the kernel to start writing what was written since the last request.
  void startWriteBack();

  int fd_;
  Block blocks_[2];
  Block* current_;
  char* end_;
  char* limit_;

  std::thread writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Block* pending_ = nullptr;  // the block the writing thread is to write next
  bool closing_ = false;
  bool failed_ = false;
  size_t written_ = 0;        // bytes written to the file so far
  size_t writeBackFrom_ = 0;  // where the bytes not yet asked to be written to the disk start
};

// Writes the rest of the file and gives it its final name: the result names the file or says why
// nothing was written.
ExportResult finishOutput(BlockFile& file, OutputFile& output);
