#include "frameworks/zip/DeflatePipeline.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

// The same bytes deflated as one stream by zlib alone.
std::size_t deflatedWholeSize(const std::string& input, int level) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, input.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  const std::size_t size = out.size() - stream.avail_out;
  deflateEnd(&stream);
  return size;
}

std::string inflateRaw(const std::string& deflated, std::size_t expected) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  std::string out(expected + 1, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  stream.avail_in = static_cast<uInt>(deflated.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return out;
}

}  // namespace

// A stream cut into pieces that are deflated apart still compresses like one stream: each piece
// reaches back into the one before it. Here a 16 KiB block of random bytes repeats for 3.5 MiB; a
// piece that started from nothing would hold the block as literals again.
TEST(DeflatePipeline, PiecesReachBackIntoThePieceBeforeAndJoinIntoOneStream) {
  std::mt19937 random(7);
  std::string block(16 * 1024, '\0');
  for (char& c : block) c = static_cast<char>(random());
  std::string input;
  while (input.size() < 3 * DeflatePipeline::kPieceSize + DeflatePipeline::kPieceSize / 2) input += block;

  for (unsigned threads : {1u, 3u}) {
    std::string deflated;
    DeflatePipeline pipeline(
        1,
        [&](const char* data, std::size_t size) {
          deflated.append(data, size);
          return true;
        },
        threads);
    // Handed over in uneven parts, and one part larger than a piece.
    std::size_t at = 0;
    for (std::size_t part : {std::size_t{1000}, DeflatePipeline::kPieceSize + 12345, std::size_t{77777}}) {
      ASSERT_TRUE(pipeline.write(std::string_view(input).substr(at, part)));
      at += part;
    }
    std::string rest = input.substr(at);
    ASSERT_TRUE(pipeline.write(rest));
    ASSERT_TRUE(pipeline.finish());

    EXPECT_EQ(inflateRaw(deflated, input.size()), input) << threads << " threads";
    EXPECT_EQ(pipeline.size(), input.size());
    EXPECT_EQ(pipeline.crc(), crc32(0, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(input.size())));
    // About as small as one stream: not a fresh copy of the block in every piece.
    EXPECT_LT(deflated.size(), deflatedWholeSize(input, 1) + block.size() / 2) << threads << " threads";
  }
}
