#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/OrderedChunks.h"
#include "platform/addressbook/ABPerson.h"

namespace {

// Rows formatted on two threads reach the file in their order, and the second thread never runs
// more than two chunks ahead of the file: the output is never held whole.
TEST(BlockFileTest, RowsFormattedOnTwoThreadsArriveInOrderWithTwoChunksHeldAtMost) {
  const auto path = std::filesystem::temp_directory_path() / ("rolvane-chunks-" + std::to_string(getpid()));
  for (size_t count : {0, 5, 99, 100, 1001, 20011}) {
    std::atomic<int> formattedAside{0}, mostAside{0};
    std::atomic<size_t> copiedUpTo{0};
    std::string expected;
    {
      BlockFile file(path.string());
      formatInOrder(file, count, 50, [&](auto& sink, size_t begin, size_t end) {
        if constexpr (std::is_same_v<std::decay_t<decltype(sink)>, ChunkText>) {
          // Formatted away from the file: count what is held before the calling thread copies it.
          const int aside = ++formattedAside - static_cast<int>(copiedUpTo.load());
          int most = mostAside.load();
          while (aside > most && !mostAside.compare_exchange_weak(most, aside)) {
          }
        } else if (begin > 0) {
          // The calling thread reaches chunk begin/50 only after copying every odd chunk before it.
          copiedUpTo = begin / 100;
        }
        for (size_t row = begin; row < end; ++row) {
          sink.append(std::to_string(row) + std::string(row % 7, 'x'));
          sink.append('\n');
          sink.flushIfFull();
        }
      });
      ASSERT_TRUE(file.finish());
    }
    for (size_t row = 0; row < count; ++row) expected += std::to_string(row) + std::string(row % 7, 'x') + '\n';
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(text.str() == expected) << count << " rows: " << text.str().size() << " bytes instead of "
                                        << expected.size();
    EXPECT_LE(mostAside.load(), 3) << count << " rows";
  }
  std::filesystem::remove(path);
}

TEST(BlockFileTest, ManyBlocksAndOversizedPiecesArriveInOrder) {
  const auto path = std::filesystem::temp_directory_path() / ("rolvane-blocks-" + std::to_string(getpid()));
  std::string expected;
  {
    BlockFile file(path.string());
    for (int row = 0; row < 400000; ++row) {
      std::string line = std::to_string(row) + (row % 3 ? ",text" : "") + '\n';
      file.append(line);
      expected += line;
      if (row % 100000 == 7) {
        std::string big(BlockFile::kBlockSize + 12345, static_cast<char>('a' + row % 26));
        file.append(big);
        expected += big;
      }
      char* at = file.reserve(2);
      at[0] = '#';
      file.commitTo(at + 1);
      expected += '#';
      file.flushIfFull();
    }
    ASSERT_TRUE(file.finish());
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(text.str() == expected) << text.str().size() << " bytes instead of " << expected.size();
  std::filesystem::remove(path);
}

TEST(BlockFileTest, AFileThatCannotBeOpenedFails) {
  BlockFile file("/nonexistent-folder/file");
  file.append(std::string(3 * BlockFile::kBlockSize, 'x'));
  file.flushIfFull();
  EXPECT_FALSE(file.finish());
}

TEST(ColumnIndexTest, EveryColumnGetsItsKeysValueRepeatedColumnsToo) {
  std::vector<std::string> columns;
  for (int i = 0; i < 300; ++i) columns.push_back("Column " + std::to_string(i * 7919));
  columns.push_back("");
  columns.push_back(columns[5]);
  ColumnIndex index(columns);
  ContactRecord record;
  record.set("Not a column", std::string("x"));
  for (size_t i = 0; i < columns.size(); i += 2) record.set(columns[i], "value of " + columns[i]);
  std::vector<uint32_t> slots;
  index.fill(record, slots);
  ASSERT_EQ(slots.size(), columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    std::optional<RecordValue> value;
    if (slots[i] != ColumnIndex::kNone) value = record.valueAt(slots[i]);
    EXPECT_EQ(value, record.find(columns[i])) << columns[i];
  }
}

TEST(ColumnIndexTest, DatesReadAsIsoText) {
  CellText cell;
  EXPECT_EQ(cell.of(ABDate{1987, 4, 5}).value(), "1987-04-05");
  EXPECT_EQ(cell.of(ABDate{12, 11, 30}).value(), "0012-11-30");
  EXPECT_EQ(cell.of(ABDate{12345, 1, 1}).value(), ABDate({12345, 1, 1}).toIsoString());
  EXPECT_EQ(cell.of(ABDate{-5, 1, 1}).value(), ABDate({-5, 1, 1}).toIsoString());
  const std::shared_ptr<ABPerson> person = ABPerson::create();
  EXPECT_FALSE(cell.of(RecordPerson{&person}).has_value());
}

}  // namespace
