#include <gtest/gtest.h>

#include <string>

#include "platform/text/ByteWords.h"

namespace {

// Every byte value at every place of a word, among neighbours that are each test's edge cases (the
// bytes next to the one looked for, zero, 0x7f, 0x80, 0xff): each answer is the one byte-by-byte
// comparisons give.
TEST(ByteWordsTest, EachTestAnswersAsTheBytesOneByOne) {
  const unsigned char neighbours[] = {'a', 0x00, 0x01, 0x1f, 0x20, '@', 'A', 'Z', '[', '`', 'z', '{', 0x7f, 0x80, 0xff};
  for (unsigned char fill : neighbours)
    for (int place = 0; place < 8; ++place)
      for (int value = 0; value < 256; ++value) {
        std::string bytes(8, static_cast<char>(fill));
        bytes[place] = static_cast<char>(value);
        const std::uint64_t word = ByteWords::load(bytes.data());
        int zeros = 0, commas = 0, below = 0;
        std::uint64_t upper = 0;
        for (int b = 0; b < 8; ++b) {
          const auto c = static_cast<unsigned char>(bytes[b]);
          zeros += c == 0;
          commas += c == ',';
          below += c < 0x20;
          if (c >= 'A' && c <= 'Z') upper |= std::uint64_t{0x80} << (8 * b);
        }
        SCOPED_TRACE("byte " + std::to_string(value) + " at " + std::to_string(place) + " among " +
                     std::to_string(fill));
        ASSERT_EQ(ByteWords::hasZero(word), zeros > 0);
        ASSERT_EQ(ByteWords::countZeros(word), static_cast<unsigned>(zeros));
        ASSERT_EQ(ByteWords::has(word, ','), commas > 0);
        ASSERT_EQ(ByteWords::hasBelow(word, 0x20), below > 0);
        ASSERT_EQ(ByteWords::inRange(word, 'A', 'Z'), upper);
      }
}

}  // namespace
