#include "app/export/BlockFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

// Slack beyond the block size, so that the row that fills a block usually still fits in it.
constexpr size_t kSlack = size_t(64) << 10;

}  // namespace

BlockFile::BlockFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
  failed_ = fd_ < 0;
  blocks_[0].capacity = kBlockSize + kSlack;
  blocks_[0].data.reset(new char[blocks_[0].capacity]);
  current_ = &blocks_[0];
  end_ = current_->data.get();
  limit_ = end_ + current_->capacity;
}

BlockFile::~BlockFile() {
  if (fd_ >= 0 || writer_.joinable()) finish();
}

void BlockFile::makeRoom(size_t n) {
  if (end_ != current_->data.get()) handOver();
  if (n <= current_->capacity) return;
  current_->capacity = n;
  current_->data.reset(new char[n]);
  end_ = current_->data.get();
  limit_ = end_ + n;
}

bool BlockFile::writeAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    written_ += static_cast<size_t>(n);
  }
  if (written_ - writeBackFrom_ >= kWriteBackStep) startWriteBack();
  return true;
}

void BlockFile::startWriteBack() {
  // Only a request to start writing: it neither waits for the disk nor tells of its errors (the
  // file is not claimed to be on the disk). Where the file cannot take it (a pipe, a device) the
  // bytes go as they would without it.
  if (written_ > writeBackFrom_)
    ::sync_file_range(fd_, static_cast<off_t>(writeBackFrom_), static_cast<off_t>(written_ - writeBackFrom_),
                      SYNC_FILE_RANGE_WRITE);
  writeBackFrom_ = written_;
}

void BlockFile::writeLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return pending_ != nullptr || closing_; });
    if (!pending_) return;
    const Block* block = pending_;
    const bool skip = failed_;
    lock.unlock();
    const bool ok = skip || writeAll(block->data.get(), block->size);
    lock.lock();
    if (!ok) failed_ = true;
    pending_ = nullptr;
    changed_.notify_all();
  }
}

void BlockFile::handOver() {
  current_->size = static_cast<size_t>(end_ - current_->data.get());
  if (!writer_.joinable()) {
    try {
      writer_ = std::thread([this] { writeLoop(); });
    } catch (const std::system_error&) {
      // No second thread: write on this one.
      if (!failed_ && !writeAll(current_->data.get(), current_->size)) failed_ = true;
      end_ = current_->data.get();
      return;
    }
  }
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_ == nullptr; });
    pending_ = current_;
  }
  changed_.notify_all();
  current_ = current_ == &blocks_[0] ? &blocks_[1] : &blocks_[0];
  if (!current_->data) {
    current_->capacity = kBlockSize + kSlack;
    current_->data.reset(new char[current_->capacity]);
  }
  end_ = current_->data.get();
  limit_ = end_ + current_->capacity;
}

void BlockFile::writeThrough(std::string_view text) {
  if (end_ != current_->data.get()) handOver();
  if (writer_.joinable()) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_ == nullptr; });
    if (failed_) return;
  } else if (failed_) {
    return;
  }
  if (!writeAll(text.data(), text.size())) {
    std::lock_guard lock(mutex_);
    failed_ = true;
  }
}

bool BlockFile::finish() {
  if (writer_.joinable()) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return pending_ == nullptr; });
      closing_ = true;
    }
    changed_.notify_all();
    writer_.join();
  }
  const size_t size = static_cast<size_t>(end_ - current_->data.get());
  if (!failed_ && !writeAll(current_->data.get(), size)) failed_ = true;
  end_ = current_->data.get();
  if (!failed_) startWriteBack();
  if (fd_ >= 0 && ::close(fd_) != 0) failed_ = true;
  fd_ = -1;
  return !failed_;
}

ExportResult finishOutput(BlockFile& file, OutputFile& output) {
  ExportResult result;
  if (!file.finish()) {
    result.error = "could not write " + output.temporaryPath();
    return result;
  }
  if (!output.commit()) {
    result.error = output.error();
    return result;
  }
  result.file = output.finalPath();
  return result;
}
