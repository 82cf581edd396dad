#include "EncodedRows.h"

#include <system_error>

#include "PersonCodec.h"

namespace {

// Below this many rows a second thread costs more than it saves.
constexpr size_t kRowsForThread = 2000;
// The writer is told about encoded rows in batches of this many.
constexpr size_t kPublishEvery = 64;

}  // namespace

EncodedRows::EncodedRows(std::vector<Item> items)
    : items_(std::move(items)), encoded_(items_.size()), hashes_(items_.size()) {
  if (items_.size() >= kRowsForThread) {
    try {
      thread_ = std::thread([this] {
        // A failure here (memory ran out) is thrown again by next(), on the thread that writes.
        try {
          encodeAll();
        } catch (...) {
          failure_ = std::current_exception();
          ready_.store(kFailed, std::memory_order_release);
          ready_.notify_one();
        }
      });
      return;
    } catch (const std::system_error&) {
      // No thread to be had: the rows are encoded here, before writing.
    }
  }
  encodeAll();
}

EncodedRows::~EncodedRows() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

std::string_view EncodedRows::encode(const ABPersonData& data) {
  size_t size = PersonCodec::encodedSize(data);
  std::string& buffer = buffers_.bufferFor(size);
  size_t start = buffer.size();
  PersonCodec::encode(data, buffer);  // fits: the buffer never grows, so earlier views stay valid
  return std::string_view(buffer).substr(start, size);
}

void EncodedRows::encodeAll() {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (stop_.load(std::memory_order_relaxed)) return;
    encoded_[i] = encode(*items_[i].data);
    hashes_[i] = SqliteStore::hashOfValues(encoded_[i]);
    if ((i + 1) % kPublishEvery == 0 || i + 1 == items_.size()) {
      ready_.store(i + 1, std::memory_order_release);
      ready_.notify_one();
    }
  }
}

bool EncodedRows::next(SqliteStore::Row& row) {
  if (next_ == items_.size()) return false;
  size_t ready;
  while ((ready = ready_.load(std::memory_order_acquire)) <= next_) ready_.wait(ready, std::memory_order_acquire);
  if (ready == kFailed) std::rethrow_exception(failure_);
  row.uid = items_[next_].uid;
  row.order = items_[next_].order;
  row.data = encoded_[next_];
  row.version = items_[next_].version;
  row.valuesHash = hashes_[next_];
  ++next_;
  return true;
}
