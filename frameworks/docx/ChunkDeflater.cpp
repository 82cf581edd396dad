#include "frameworks/docx/ChunkDeflater.h"

#include <zlib.h>

#include <algorithm>

namespace {
constexpr size_t kWindow = 32u << 10;
}

ChunkDeflater::ChunkDeflater(int level, Writer writer, unsigned threads) : level_(level), writer_(std::move(writer)) {
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  maxInFlight_ = 2 * threads;
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

ChunkDeflater::~ChunkDeflater() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void ChunkDeflater::compress(Job& job, int level) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    job.failed = true;
    return;
  }
  if (!job.dictionary.empty())
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(job.dictionary.data()),
                         static_cast<uInt>(job.dictionary.size()));
  const size_t capacity = deflateBound(&stream, job.input.size()) + 64;
  job.output = std::make_unique_for_overwrite<char[]>(capacity);
  stream.next_in = reinterpret_cast<Bytef*>(job.input.data());
  stream.avail_in = static_cast<uInt>(job.input.size());
  stream.next_out = reinterpret_cast<Bytef*>(job.output.get());
  stream.avail_out = static_cast<uInt>(capacity);
  const int result = deflate(&stream, job.last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool complete = job.last ? result == Z_STREAM_END : (result == Z_OK && stream.avail_in == 0);
  job.outputSize = stream.total_out;
  deflateEnd(&stream);
  job.failed = !complete;
  job.crc = static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(job.input.data()), static_cast<uInt>(job.input.size())));
}

void ChunkDeflater::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Job* job = nullptr;
    changed_.wait(lock, [&] {
      if (stopping_) return true;
      for (auto& candidate : jobs_)
        if (!candidate->started) {
          job = candidate.get();
          return true;
        }
      return false;
    });
    if (!job) return;
    job->started = true;
    lock.unlock();
    compress(*job, level_);
    lock.lock();
    job->done = true;
    changed_.notify_all();
  }
}

void ChunkDeflater::submit(std::string input, bool last) {
  auto job = std::make_unique<Job>();
  job->dictionary = tail_;
  if (input.size() >= kWindow) {
    tail_.assign(input, input.size() - kWindow, kWindow);
  } else {
    tail_ += input;
    if (tail_.size() > kWindow) tail_.erase(0, tail_.size() - kWindow);
  }
  job->input = std::move(input);
  job->last = last;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

// Writes the finished jobs at the front, in order; waits while too many are in flight (or, with
// waitForAll, until none is left).
bool ChunkDeflater::writeFinished(bool waitForAll) {
  for (;;) {
    std::unique_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] {
        if (!jobs_.empty() && jobs_.front()->done) return true;
        return waitForAll ? jobs_.empty() : jobs_.size() < maxInFlight_;
      });
      if (jobs_.empty() || !jobs_.front()->done) return !failed_;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (failed_) continue;
    if (job->failed || !writer_(job->output.get(), job->outputSize)) {
      failed_ = true;
      continue;
    }
    crc_ = static_cast<uint32_t>(crc32_combine(crc_, job->crc, static_cast<z_off_t>(job->input.size())));
    uncompressedSize_ += job->input.size();
    compressedSize_ += job->outputSize;
    job->input.clear();
    spare_.push_back(std::move(job->input));
  }
}

bool ChunkDeflater::push(std::string& chunk) {
  if (failed_ || finished_) return false;
  if (chunk.empty()) return true;
  if (!held_.empty()) submit(std::move(held_), false);
  held_ = std::move(chunk);
  chunk.clear();
  const bool ok = writeFinished(false);
  if (!spare_.empty()) {
    chunk = std::move(spare_.back());
    spare_.pop_back();
  }
  return ok;
}

bool ChunkDeflater::finish() {
  if (finished_) return !failed_;
  finished_ = true;
  submit(std::move(held_), true);
  held_.clear();
  return writeFinished(true);
}
