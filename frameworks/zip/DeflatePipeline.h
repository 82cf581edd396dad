#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Raw deflate of a stream whose bytes arrive piece by piece, compressed on worker threads while
// the caller goes on producing. Every piece is deflated on its own, primed with the last 32 KiB of
// the input before it (so matches reach back across the cut as they would in one stream), and ends
// on a byte boundary (only the last one is final): the compressed pieces, handed to the sink in
// input order, join into one valid deflate stream. Memory stays bounded: a few pieces are in flight
// at a time.
//
//   DeflatePipeline deflate(1, [&](const char* data, size_t size) { return write(data, size); });
//   while (more) { fill(text); deflate.write(text); }
//   bool ok = deflate.finish();  // then deflate.crc(), deflate.size()
class DeflatePipeline {
 public:
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  // Input is cut into pieces of at least this size.
  static constexpr std::size_t kPieceSize = std::size_t{1} << 20;

  // level: a zlib level (-1 = zlib's default). threads: 0 = one per core.
  DeflatePipeline(int level, Sink sink, unsigned threads = 0);
  ~DeflatePipeline();
  DeflatePipeline(const DeflatePipeline&) = delete;
  DeflatePipeline& operator=(const DeflatePipeline&) = delete;

  // Takes the bytes, leaving the string empty (it may come back holding another buffer's memory,
  // ready for reuse). False once anything has failed.
  bool write(std::string& bytes);
  bool write(std::string_view bytes);
  // Compresses what is left, hands everything to the sink and stops the workers. False when the
  // sink or zlib failed at any point.
  bool finish();

  // CRC-32 and length of all input so far (complete after finish()).
  uint32_t crc() const { return crc_; }
  uint64_t size() const { return size_; }

 private:
  struct Piece;
  void submit(bool last);
  // Hands finished pieces to the sink in order, waiting for the first mustWrite of them.
  void drain(std::size_t mustWrite);
  void work();

  int level_;
  Sink sink_;
  std::string pending_;
  std::string tail_;  // the last 32 KiB of the input submitted so far: the next piece's dictionary
  std::vector<std::unique_ptr<Piece>> ring_;
  std::size_t nextSubmit_ = 0;  // counts pieces submitted
  std::size_t nextWrite_ = 0;   // counts pieces handed to the sink
  std::deque<Piece*> queue_;
  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable pieceDone_;
  bool stopping_ = false;
  bool finished_ = false;
  bool failed_ = false;
  uint32_t crc_;
  uint64_t size_ = 0;
  std::vector<std::thread> workers_;
};
