#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Raw deflate of a large input on every core: the input is cut into pieces compressed
// independently (each ending on a byte boundary, only the last one final), whose outputs joined in
// order form one valid deflate stream.
class ParallelDeflate {
 public:
  static constexpr std::size_t kPieceSize = 1 << 22;

  explicit ParallelDeflate(int level);
  // Compresses the pieces of one batch in parallel; `last` tells whether the input ends with it.
  // Returns the compressed bytes of the batch in order and extends crc() and the sizes.
  std::string compressBatch(const std::vector<std::string_view>& pieces, bool last);

  uint32_t crc() const { return crc_; }
  static unsigned threads();

 private:
  int level_;
  uint32_t crc_;
};
