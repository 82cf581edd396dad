#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Many byte strings packed into a few large buffers. A buffer never grows past the room it was
// given, so views into it stay valid for the life of the object.
class PackedBytes {
 public:
  // A buffer with room for size more bytes at its end.
  std::string& bufferFor(size_t size) {
    if (buffers_.empty() || buffers_.back()->capacity() - buffers_.back()->size() < size) {
      buffers_.push_back(std::make_unique<std::string>());
      buffers_.back()->reserve(std::max(kBufferSize, size));
    }
    return *buffers_.back();
  }

  std::string_view append(std::string_view bytes) {
    std::string& buffer = bufferFor(bytes.size());
    size_t start = buffer.size();
    buffer.append(bytes);
    return std::string_view(buffer).substr(start);
  }

 private:
  static constexpr size_t kBufferSize = 1 << 20;
  std::vector<std::unique_ptr<std::string>> buffers_;
};
