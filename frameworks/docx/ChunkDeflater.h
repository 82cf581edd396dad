#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Compresses one long stream of bytes as raw deflate data on several threads. The stream is taken
// in chunks; each chunk is deflated on its own (primed with the last 32 KiB of the chunk before it,
// and ended on a byte boundary), so the pieces joined in order are one valid deflate stream. The
// compressed pieces go, in order, to the writer given at construction, called on the thread that
// calls push() and finish().
class ChunkDeflater {
 public:
  using Writer = std::function<bool(const char* data, size_t size)>;

  ChunkDeflater(int level, Writer writer, unsigned threads = 0);
  ~ChunkDeflater();
  ChunkDeflater(const ChunkDeflater&) = delete;
  ChunkDeflater& operator=(const ChunkDeflater&) = delete;

  // Takes the chunk; the string is left empty (possibly holding an earlier buffer for reuse). False
  // once compressing or writing has failed.
  bool push(std::string& chunk);
  // Compresses and writes what is left. False when anything failed.
  bool finish();

  uint32_t crc() const { return crc_; }
  uint64_t uncompressedSize() const { return uncompressedSize_; }
  uint64_t compressedSize() const { return compressedSize_; }

 private:
  struct Job {
    std::string input;
    std::string dictionary;
    std::unique_ptr<char[]> output;
    size_t outputSize = 0;
    uint32_t crc = 0;
    bool last = false;
    bool started = false;
    bool done = false;
    bool failed = false;
  };

  void submit(std::string input, bool last);
  bool writeFinished(bool waitForAll);
  void work();
  static void compress(Job& job, int level);

  int level_;
  Writer writer_;
  size_t maxInFlight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
  bool failed_ = false;
  bool finished_ = false;

  std::vector<std::string> spare_;  // emptied input buffers, handed back to the caller for reuse
  std::string held_;                // the latest chunk, kept back until it is known whether it is the last
  std::string tail_;                // the last 32 KiB of the stream submitted so far
  uint32_t crc_ = 0;
  uint64_t uncompressedSize_ = 0;
  uint64_t compressedSize_ = 0;
};
