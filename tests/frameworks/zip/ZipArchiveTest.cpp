#include <fcntl.h>
#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "frameworks/zip/Crc32.h"
#include "frameworks/zip/ZipArchive.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

struct Recorder : ZipArchiveDelegate {
  std::vector<std::string> messages;
  bool answer = true;
  void ErrorMessage(const std::string& message) override { messages.push_back(message); }
  bool OverWriteOperation(const std::string&) override { return answer; }
};

class Zip : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rolvane-zip-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }
  // An archive written with minizip directly, entry names as given.
  std::string rawArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string path = (dir_ / "raw.zip").string();
    zipFile zip = zipOpen(path.c_str(), 0);
    for (const auto& [name, bytes] : entries) {
      zip_fileinfo info{};
      zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, -1);
      zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
      zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return path;
  }
  fs::path dir_;
};

TEST_F(Zip, RoundTripKeepsBytesAndEvenSecondDates) {
  std::ofstream(dir_ / "a.txt") << "hello";
  const utimbuf times{1600000001, 1600000001};
  utime((dir_ / "a.txt").c_str(), &times);
  std::string big;
  for (int i = 0; i < 3000000; ++i) big += static_cast<char>('a' + (i / 3 + i % 7) % 26);
  ZipArchive zip;
  zip.setCompressionLevel(1);
  ASSERT_TRUE(zip.CreateZipFile2((dir_ / "t.zip").string()));
  EXPECT_TRUE(zip.addFileToZipNewname((dir_ / "a.txt").string(), "folder/a.txt"));
  EXPECT_TRUE(zip.addFileToZipNewname((dir_ / "missing").string(), "empty.txt"));
  EXPECT_TRUE(zip.addDataToZip(big + big + big, "big.xml"));
  EXPECT_TRUE(zip.addDataToZip("", "nothing.xml"));
  EXPECT_TRUE(zip.addFolderToZip("xl/media"));
  ASSERT_TRUE(zip.CloseZipFile2());
  EXPECT_FALSE(zip.CloseZipFile2());

  ZipArchive unzip;
  ASSERT_TRUE(unzip.UnzipOpenFile((dir_ / "t.zip").string()));
  ASSERT_TRUE(unzip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  EXPECT_TRUE(unzip.UnzipCloseFile());
  EXPECT_TRUE(unzip.UnzipCloseFile());
  EXPECT_EQ(slurp(dir_ / "out/folder/a.txt"), "hello");
  EXPECT_EQ(slurp(dir_ / "out/empty.txt"), "");
  EXPECT_EQ(slurp(dir_ / "out/big.xml"), big + big + big);
  EXPECT_EQ(slurp(dir_ / "out/nothing.xml"), "");
  EXPECT_TRUE(fs::is_directory(dir_ / "out/xl/media"));
  struct stat attributes {};
  stat((dir_ / "out/folder/a.txt").c_str(), &attributes);
  EXPECT_EQ(attributes.st_mtime, 1600000000);
}

TEST_F(Zip, EmptyArchiveReportsBothMessages) {
  const std::string path = rawArchive({});
  auto recorder = std::make_shared<Recorder>();
  ZipArchive zip;
  zip.setDelegate(recorder);
  zip.UnzipOpenFile(path);  // minizip may refuse an archive without entries already here
  EXPECT_FALSE(zip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  EXPECT_EQ(recorder->messages, (std::vector<std::string>{"Failed", "Error occurs"}));
}

TEST_F(Zip, BackslashesAreFoldersAndEscapingNamesAreRefused) {
  const std::string path = rawArchive({{"a\\b\\c.txt", "c"},
                                       {"../evil.txt", "x"},
                                       {"/tmp/abs.txt", "y"},
                                       {"ok/../../evil2.txt", "z"},
                                       {"last.txt", "l"}});
  auto recorder = std::make_shared<Recorder>();
  ZipArchive zip;
  zip.setDelegate(recorder);
  ASSERT_TRUE(zip.UnzipOpenFile(path));
  EXPECT_FALSE(zip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  EXPECT_EQ(slurp(dir_ / "out/a/b/c.txt"), "c");
  EXPECT_EQ(slurp(dir_ / "out/last.txt"), "l");
  EXPECT_FALSE(fs::exists(dir_ / "evil.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "evil2.txt"));
  EXPECT_EQ(recorder->messages.size(), 3u);
  EXPECT_EQ(recorder->messages[0], "Refused entry outside the destination folder: ../evil.txt");
}

// A file that cannot be put where its entry says (a folder of that name, a file where a folder
// should be) is reported as a failure to write, not as damaged data; the other entries are expanded.
TEST_F(Zip, TargetsThatCannotBeWrittenAreReportedAndTheRestExpanded) {
  const std::string path = rawArchive({{"taken.txt", "t"}, {"plain/inner.txt", "i"}, {"last.txt", "l"}});
  fs::create_directories(dir_ / "out/taken.txt");
  std::ofstream(dir_ / "out/plain") << "a file, not a folder";
  auto recorder = std::make_shared<Recorder>();
  ZipArchive zip;
  zip.setDelegate(recorder);
  ASSERT_TRUE(zip.UnzipOpenFile(path));
  EXPECT_FALSE(zip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  EXPECT_EQ(recorder->messages,
            (std::vector<std::string>{"Failed to write file: " + (dir_ / "out/taken.txt").string(),
                                      "Failed to write file: " + (dir_ / "out/plain/inner.txt").string()}));
  EXPECT_EQ(slurp(dir_ / "out/last.txt"), "l");
  EXPECT_TRUE(fs::is_directory(dir_ / "out/taken.txt"));
  for (const auto& entry : fs::recursive_directory_iterator(dir_ / "out"))
    EXPECT_EQ(entry.path().filename().string().find(".rolvane-part"), std::string::npos);
}

TEST_F(Zip, OverwriteIsAskedOnlyWithoutTheFlag) {
  const std::string path = rawArchive({{"a.txt", "new"}, {"b.txt", "b"}});
  std::ofstream(dir_ / "out/a.txt") << "old";
  {
    ZipArchive zip;  // no delegate: replaced
    zip.UnzipOpenFile(path);
    zip.UnzipFileToOverWrite((dir_ / "out").string(), false);
  }
  EXPECT_EQ(slurp(dir_ / "out/a.txt"), "new");
  std::ofstream(dir_ / "out/a.txt") << "old";
  fs::remove(dir_ / "out/b.txt");
  auto keep = std::make_shared<Recorder>();
  keep->answer = false;
  ZipArchive zip;
  zip.setDelegate(keep);
  zip.UnzipOpenFile(path);
  EXPECT_TRUE(zip.UnzipFileToOverWrite((dir_ / "out").string(), false));
  EXPECT_EQ(slurp(dir_ / "out/a.txt"), "old");
  EXPECT_EQ(slurp(dir_ / "out/b.txt"), "b");
}

std::string patterned(std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) text += static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return text;
}

TEST_F(Zip, PasswordRoundTripAndWrongPassword) {
  std::ofstream(dir_ / "s.txt") << "secret text";
  const std::string big = patterned(5'000'000);  // several pieces of the parallel deflate
  std::ofstream(dir_ / "big.txt", std::ios::binary) << big;
  ZipArchive zip;
  zip.setCompressionLevel(1);
  ASSERT_TRUE(zip.CreateZipFile2Password((dir_ / "p.zip").string(), "pa55"));
  ASSERT_TRUE(zip.addFileToZipNewname((dir_ / "s.txt").string(), "s.txt"));
  ASSERT_TRUE(zip.addDataToZip(big, "data/big.xml"));
  ASSERT_TRUE(zip.addLargeFileToZip((dir_ / "big.txt").string(), "large.txt"));
  EXPECT_FALSE(zip.beginEntry("streamed.xml"));  // its CRC would be needed before its first byte
  ASSERT_TRUE(zip.CloseZipFile2());

  ZipArchive unzip;
  ASSERT_TRUE(unzip.UnzipOpenFilePassword((dir_ / "p.zip").string(), "pa55"));
  EXPECT_TRUE(unzip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  unzip.UnzipCloseFile();
  EXPECT_EQ(slurp(dir_ / "out/s.txt"), "secret text");
  EXPECT_EQ(slurp(dir_ / "out/data/big.xml"), big);
  EXPECT_EQ(slurp(dir_ / "out/large.txt"), big);

  for (const char* password : {"wrong", ""}) {
    fs::remove_all(dir_ / "bad");
    fs::create_directories(dir_ / "bad");
    auto recorder = std::make_shared<Recorder>();
    ZipArchive reader;
    reader.setDelegate(recorder);
    ASSERT_TRUE(reader.UnzipOpenFilePassword((dir_ / "p.zip").string(), password));
    EXPECT_FALSE(reader.UnzipFileToOverWrite((dir_ / "bad").string(), true)) << password;
    EXPECT_EQ(recorder->messages, std::vector<std::string>{"Error occurs"}) << password;
    EXPECT_TRUE(fs::is_empty(dir_ / "bad")) << password;
  }
}

TEST_F(Zip, PasswordArchiveReadsInPython) {
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "/usr/bin/python3 is not installed: not read by another program";
  std::ofstream(dir_ / "s.txt") << "secret text";
  ZipArchive zip;
  ASSERT_TRUE(zip.CreateZipFile2Password((dir_ / "p.zip").string(), "pa55"));
  ASSERT_TRUE(zip.addFileToZipNewname((dir_ / "s.txt").string(), "s.txt"));
  ASSERT_TRUE(zip.addDataToZip(patterned(3'000'000), "big.xml"));
  ASSERT_TRUE(zip.CloseZipFile2());
  const std::string command =
      "cd '" + dir_.string() +
      "' && /usr/bin/python3 -c \"import zipfile;z=zipfile.ZipFile('p.zip');"
      "print(z.read('s.txt',pwd=b'pa55').decode(),len(z.read('big.xml',pwd=b'pa55')))\" > py.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << slurp(dir_ / "py.txt");
  EXPECT_EQ(slurp(dir_ / "py.txt"), "secret text 3000000\n");
}

TEST_F(Zip, StreamedEntryAcrossPiecesAndDamagedDataLeavesNoFile) {
  const std::string text = patterned(3'500'000);
  ZipArchive zip;
  zip.setCompressionLevel(1);
  ASSERT_TRUE(zip.CreateZipFile2((dir_ / "s.zip").string()));
  EXPECT_FALSE(zip.writeEntry(std::string_view("x")));
  ASSERT_TRUE(zip.beginEntry("xl/stream.xml"));
  EXPECT_FALSE(zip.beginEntry("second.xml"));
  EXPECT_FALSE(zip.addDataToZip("x", "between.xml"));
  for (std::size_t at = 0; at < text.size();) {  // uneven pieces, some large enough to be handed over whole
    const std::size_t n = std::min(text.size() - at, at % 3 == 0 ? std::size_t{1'300'000} : std::size_t{70'001});
    std::string piece = text.substr(at, n);
    ASSERT_TRUE(at % 2 ? zip.writeEntry(piece) : zip.writeEntry(std::string_view(piece)));
    at += n;
  }
  ASSERT_TRUE(zip.endEntry());
  EXPECT_FALSE(zip.endEntry());
  ASSERT_TRUE(zip.beginEntry("empty.xml"));
  ASSERT_TRUE(zip.endEntry());
  ASSERT_TRUE(zip.CloseZipFile2());
  {
    ZipArchive unzip;
    ASSERT_TRUE(unzip.UnzipOpenFile((dir_ / "s.zip").string()));
    EXPECT_TRUE(unzip.UnzipFileToOverWrite((dir_ / "out").string(), true));
  }
  EXPECT_EQ(slurp(dir_ / "out/xl/stream.xml"), text);
  EXPECT_EQ(slurp(dir_ / "out/empty.xml"), "");

  std::string bytes = slurp(dir_ / "s.zip");
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
  std::ofstream(dir_ / "damaged.zip", std::ios::binary) << bytes;
  fs::create_directories(dir_ / "damaged");
  auto recorder = std::make_shared<Recorder>();
  ZipArchive unzip;
  unzip.setDelegate(recorder);
  ASSERT_TRUE(unzip.UnzipOpenFile((dir_ / "damaged.zip").string()));
  EXPECT_FALSE(unzip.UnzipFileToOverWrite((dir_ / "damaged").string(), true));
  EXPECT_EQ(recorder->messages, std::vector<std::string>{"Failed to reading zip file"});
  EXPECT_FALSE(fs::exists(dir_ / "damaged/xl/stream.xml"));
  EXPECT_TRUE(fs::exists(dir_ / "damaged/empty.xml"));
  for (const auto& entry : fs::recursive_directory_iterator(dir_ / "damaged"))
    EXPECT_EQ(entry.path().filename().string().find(".rolvane-part"), std::string::npos);
}

TEST(ZipCrc, FoldedCrcEqualsZlibForEveryLengthAndAlignment) {
  std::mt19937 random(7);
  std::vector<unsigned char> bytes(300'000);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  for (int round = 0; round < 600; ++round) {
    const std::size_t offset = random() % 64;
    const std::size_t size = round < 400 ? static_cast<std::size_t>(round) : random() % (bytes.size() - 64);
    const uint32_t seed = round % 2 ? static_cast<uint32_t>(random()) : 0;
    ASSERT_EQ(crc32Update(seed, bytes.data() + offset, size),
              crc32(seed, bytes.data() + offset, static_cast<uInt>(size)))
        << "size " << size << " offset " << offset;
  }
}

TEST(ZipDates, Date1980IsLocalMidnight) {
  const std::time_t t = std::chrono::system_clock::to_time_t(ZipArchive::Date1980());
  std::tm local{};
  localtime_r(&t, &local);
  EXPECT_EQ(local.tm_year, 80);
  EXPECT_EQ(local.tm_mon, 0);
  EXPECT_EQ(local.tm_mday, 1);
  EXPECT_EQ(local.tm_hour, 0);
  ZipArchive zip;
  EXPECT_FALSE(zip.addDataToZip("x", "x"));
  EXPECT_FALSE(zip.UnzipOpenFile("/nonexistent.zip"));
}

}  // namespace
