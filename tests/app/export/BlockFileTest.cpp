#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <type_traits>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/OrderedChunks.h"
#include "platform/addressbook/ABPerson.h"

namespace {

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

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
      // Written straight through, after what was appended before: before the writing thread has
      // started and while it writes.
      if (row % 100000 == 0 || row % 100000 == 50) {
        std::string through(BlockFile::kBlockSize / 2 + row % 7, static_cast<char>('A' + row % 26));
        file.writeThrough(through);
        expected += through;
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

// A file of several write-back steps, written by the writing thread and straight through, arrives
// whole; a file that cannot be asked to go to the disk early (a device) is written just the same.
TEST(BlockFileTest, FilesOfSeveralWriteBackStepsArriveWhole) {
  const auto path = std::filesystem::temp_directory_path() / ("rolvane-steps-" + std::to_string(getpid()));
  for (const std::string& target : {path.string(), std::string("/dev/null")}) {
    std::string expected;
    {
      BlockFile file(target);
      for (size_t piece = 0; expected.size() < 3 * BlockFile::kWriteBackStep + 99; ++piece) {
        const std::string text(piece % 3 ? 4099 : BlockFile::kBlockSize + 7, static_cast<char>('a' + piece % 26));
        if (piece % 5 == 4)
          file.writeThrough(text);
        else
          file.append(text);
        file.flushIfFull();
        expected += text;
      }
      ASSERT_TRUE(file.finish()) << target;
    }
    if (target == path.string()) {
      EXPECT_TRUE(fileText(path) == expected) << fileText(path).size() << " bytes";
    }
  }
  std::filesystem::remove(path);
}

TEST(BlockFileTest, AFileThatCannotBeOpenedFails) {
  BlockFile file("/nonexistent-folder/file");
  file.append(std::string(3 * BlockFile::kBlockSize, 'x'));
  file.flushIfFull();
  file.writeThrough(std::string(BlockFile::kBlockSize, 'y'));
  EXPECT_FALSE(file.finish());
}

// Pieces handed in while earlier ones are still being formatted reach the file in the order they
// came, whichever thread formats which and however long each takes; each thread keeps its own
// state; only a few pieces are held at once.
TEST(OrderedFormatterTest, PiecesReachTheFileInTheOrderTheyCameWithFewHeldAtOnce) {
  const auto path = std::filesystem::temp_directory_path() / ("rolvane-ordered-" + std::to_string(getpid()));
  struct Count {
    int pieces = 0;
  };
  for (int count : {0, 1, 7, 500}) {
    std::atomic<int> started{0}, mostAhead{0};
    std::atomic<int> added{0};
    std::string expected;
    {
      BlockFile file(path.string());
      OrderedFormatter<int, Count> formatter(file, [&](Count& state, const int& piece, ChunkText& text) {
        ++state.pieces;
        ++started;
        const int ahead = added.load() - piece;  // pieces handed in after this one and not yet taken
        int most = mostAhead.load();
        while (ahead > most && !mostAhead.compare_exchange_weak(most, ahead)) {
        }
        if (piece % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
        for (int row = 0; row < piece % 13; ++row)
          text.append(std::to_string(piece) + ":" + std::to_string(row) + "\n");
        return state.pieces > 0;
      });
      for (int piece = 0; piece < count; ++piece) {
        ASSERT_TRUE(formatter.add(piece));
        ++added;
        for (int row = 0; row < piece % 13; ++row) expected += std::to_string(piece) + ":" + std::to_string(row) + "\n";
      }
      EXPECT_TRUE(formatter.finish());
      ASSERT_TRUE(file.finish());
    }
    EXPECT_EQ(started.load(), count);
    EXPECT_TRUE(fileText(path) == expected) << count << " pieces";
    EXPECT_LE(mostAhead.load(), static_cast<int>(3 * std::max(1u, std::thread::hardware_concurrency())) + 1);
  }
  std::filesystem::remove(path);
}

// A piece that says stop, or throws, ends the formatting: later pieces are refused, and finish()
// says so or throws again what was thrown.
TEST(OrderedFormatterTest, APieceThatStopsOrThrowsEndsTheFormatting) {
  const auto path = std::filesystem::temp_directory_path() / ("rolvane-stopped-" + std::to_string(getpid()));
  for (const bool throws : {false, true}) {
    struct None {};
    BlockFile file(path.string());
    OrderedFormatter<int, None> formatter(file, [&](None&, const int& piece, ChunkText& text) {
      text.append("row\n");
      if (piece != 40) return true;
      if (throws) throw std::runtime_error("piece 40");
      return false;
    });
    int refusedAt = -1;
    for (int piece = 0; piece < 10000 && refusedAt < 0; ++piece)
      if (!formatter.add(piece)) refusedAt = piece;
    EXPECT_GT(refusedAt, 40);
    EXPECT_LT(refusedAt, 10000);
    if (throws)
      EXPECT_THROW(formatter.finish(), std::runtime_error);
    else
      EXPECT_FALSE(formatter.finish());
  }
  std::filesystem::remove(path);
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
