#include "frameworks/zip/DeflatePipeline.h"

#include <zlib.h>

#include <algorithm>

#include "frameworks/zip/Crc32.h"

struct DeflatePipeline::Piece {
  std::string input;
  std::string dictionary;
  std::size_t inputSize = 0;
  std::unique_ptr<char[]> output;
  std::size_t outputCapacity = 0;
  std::size_t outputSize = 0;
  uint32_t crc = 0;
  bool last = false;
  bool done = false;
  bool ok = false;
};

namespace {

// Pieces handed over whole by write(std::string&) stay below what one zlib call can take.
constexpr std::size_t kLargestPiece = std::size_t{1} << 28;
// How far back a deflate match may reach.
constexpr std::size_t kWindow = std::size_t{1} << 15;

}  // namespace

DeflatePipeline::DeflatePipeline(int level, Sink sink, unsigned threads)
    : level_(level), sink_(std::move(sink)), crc_(0) {
  const unsigned cores = std::thread::hardware_concurrency();
  const unsigned count = threads != 0 ? threads : cores != 0 ? cores : 1;
  for (unsigned i = 0; i < 2 * count + 2; ++i) ring_.push_back(std::make_unique<Piece>());
  pending_.reserve(kPieceSize + kPieceSize / 4);
  for (unsigned i = 0; i < count; ++i) workers_.emplace_back([this] { work(); });
}

DeflatePipeline::~DeflatePipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workAvailable_.notify_all();
  for (auto& worker : workers_)
    if (worker.joinable()) worker.join();
}

void DeflatePipeline::work() {
  z_stream stream{};
  const bool initialised = deflateInit2(&stream, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  for (;;) {
    Piece* piece;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      workAvailable_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) break;
      piece = queue_.front();
      queue_.pop_front();
    }
    bool ok = initialised && deflateReset(&stream) == Z_OK;
    if (ok && !piece->dictionary.empty())
      ok = deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(piece->dictionary.data()),
                                static_cast<uInt>(piece->dictionary.size())) == Z_OK;
    const std::size_t bound = deflateBound(&stream, piece->inputSize) + 64;
    if (piece->outputCapacity < bound) {
      piece->output = std::make_unique<char[]>(bound);
      piece->outputCapacity = bound;
    }
    stream.next_in = reinterpret_cast<Bytef*>(piece->input.data());
    stream.avail_in = static_cast<uInt>(piece->inputSize);
    stream.next_out = reinterpret_cast<Bytef*>(piece->output.get());
    stream.avail_out = static_cast<uInt>(piece->outputCapacity);
    if (ok) {
      const int result = deflate(&stream, piece->last ? Z_FINISH : Z_SYNC_FLUSH);
      ok = (result == (piece->last ? Z_STREAM_END : Z_OK)) && stream.avail_in == 0;
    }
    piece->outputSize = piece->outputCapacity - stream.avail_out;
    piece->crc = crc32Update(0, piece->input.data(), piece->inputSize);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      piece->ok = ok;
      piece->done = true;
    }
    pieceDone_.notify_all();
  }
  if (initialised) deflateEnd(&stream);
}

void DeflatePipeline::submit(bool last) {
  if (nextSubmit_ - nextWrite_ == ring_.size()) drain(1);
  Piece& piece = *ring_[nextSubmit_ % ring_.size()];
  piece.input.swap(pending_);
  pending_.clear();
  piece.inputSize = piece.input.size();
  piece.last = last;
  piece.dictionary = tail_;
  if (piece.inputSize >= kWindow) {
    tail_.assign(piece.input, piece.inputSize - kWindow, kWindow);
  } else {
    tail_ += piece.input;
    if (tail_.size() > kWindow) tail_.erase(0, tail_.size() - kWindow);
  }
  size_ += piece.inputSize;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    piece.done = false;
    queue_.push_back(&piece);
  }
  ++nextSubmit_;
  workAvailable_.notify_one();
  drain(0);
}

void DeflatePipeline::drain(std::size_t mustWrite) {
  while (nextWrite_ < nextSubmit_) {
    Piece& piece = *ring_[nextWrite_ % ring_.size()];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!piece.done) {
        if (mustWrite == 0) return;
        pieceDone_.wait(lock, [&] { return piece.done; });
      }
    }
    if (!piece.ok) failed_ = true;
    if (!failed_ && !sink_(piece.output.get(), piece.outputSize)) failed_ = true;
    crc_ = crc32_combine(crc_, piece.crc, static_cast<z_off_t>(piece.inputSize));
    ++nextWrite_;
    if (mustWrite > 0) --mustWrite;
  }
}

bool DeflatePipeline::write(std::string_view bytes) {
  if (finished_) return false;
  while (!bytes.empty()) {
    const std::size_t room = kPieceSize > pending_.size() ? kPieceSize - pending_.size() : 0;
    const std::size_t n = std::min(std::max<std::size_t>(room, 1), bytes.size());
    pending_.append(bytes.data(), n);
    bytes.remove_prefix(n);
    if (pending_.size() >= kPieceSize) submit(false);
  }
  return !failed_;
}

bool DeflatePipeline::write(std::string& bytes) {
  if (finished_) return false;
  if (pending_.empty() && bytes.size() >= kPieceSize && bytes.size() <= kLargestPiece) {
    pending_.swap(bytes);
    submit(false);
    pending_.swap(bytes);  // the recycled buffer goes back to the caller, and pending_ stays empty
    bytes.clear();
    return !failed_;
  }
  write(std::string_view(bytes));
  bytes.clear();
  return !failed_;
}

bool DeflatePipeline::finish() {
  if (finished_) return !failed_;
  submit(true);
  drain(nextSubmit_ - nextWrite_);
  finished_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workAvailable_.notify_all();
  for (auto& worker : workers_) worker.join();
  return !failed_;
}
