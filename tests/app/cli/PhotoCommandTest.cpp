#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestPhotos.h"

namespace {

using namespace TestPhotos;

ProgramRun run(std::vector<std::string> args) {
  return runProgram(ROLVANE_PROGRAM, std::move(args));
}

class PhotoCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-photo-cli-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static std::string card(const std::string& uid, const std::string& name, const std::string& photo) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + ";;;;\r\nFN:" + name + "\r\nUID:" + uid + "\r\nEMAIL:" + uid +
           "@example.org\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + encodeBase64(bytes(photo)) + "\r\nEND:VCARD\r\n";
  }
  std::string photoOf(const std::string& uid) {
    auto data = ABAddressBook::open(store_)->recordForUniqueId(uid)->imageData();
    return data ? std::string(data->begin(), data->end()) : std::string();
  }
  nlohmann::json scanJson() {
    ProgramRun result = run({"--store", store_, "scan", "--json"});
    EXPECT_EQ(result.status, 0) << result.out;
    const auto brace = result.out.find('{');
    return nlohmann::json::parse(result.out.substr(brace, result.out.rfind('}') - brace + 1));
  }

  std::filesystem::path folder_;
  std::string store_;
};

// Photos imported from a vCard file, found by `rolvane scan`, fixed by `rolvane fix`, undone by
// `rolvane undo`; the photos no fix touched leave in a vCard export byte for byte.
TEST_F(PhotoCommandTest, ScanFixUndoAndExportOfPhotos) {
  const std::string big = withOrientation(jpeg(halves(1600, 1000, 0xFF0000, 0x0000FF, true), 95), 6);
  const std::string logo = jpeg(halves(48, 48, 0x00AA00, 0xFFFFFF));
  const std::string own = jpeg(halves(64, 64, 0x123456, 0x654321));
  const std::string vcf = (folder_ / "in.vcf").string();
  std::ofstream(vcf, std::ios::binary) << card("big", "Large", big) << card("ann", "Ann", logo)
                                       << card("bob", "Bob", logo) << card("own", "Own", own);
  ProgramRun imported = run({"--store", store_, "import", vcf});
  ASSERT_EQ(imported.status, 0) << imported.out;

  nlohmann::json found = scanJson();
  EXPECT_EQ(found["LargePhoto"], nlohmann::json::array({"big"}));
  EXPECT_EQ(found["SharedPhoto"], nlohmann::json::array({"ann", "bob"}));

  ProgramRun shrunk = run({"--store", store_, "fix", "--condition", "Photo too large", "--option", "Shrink the photo"});
  ASSERT_EQ(shrunk.status, 0) << shrunk.out;
  EXPECT_NE(shrunk.out.find("to JPEG, 320 \xC3\x97 512 pixels"), std::string::npos) << shrunk.out;
  const auto header = Photo::readHeader(photoOf("big"), true, nullptr);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 320);
  EXPECT_EQ(header->height, 512);
  EXPECT_EQ(header->orientation, 1);

  ProgramRun refused = run({"--store", store_, "fix", "--condition", "Same photo on different people", "--option",
                            "Remove the photo from this contact", "--uid", "bob"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.out.find("add --yes"), std::string::npos) << refused.out;
  ProgramRun removed = run({"--store", store_, "fix", "--condition", "Same photo on different people", "--option",
                            "Remove the photo from this contact", "--uid", "bob", "--yes"});
  ASSERT_EQ(removed.status, 0) << removed.out;
  EXPECT_TRUE(photoOf("bob").empty());
  EXPECT_EQ(photoOf("ann"), logo);
  EXPECT_FALSE(scanJson().contains("SharedPhoto"));

  // The vCard export: the shrunk photo as it is now, the others as they came.
  const std::filesystem::path out = folder_ / "out";
  std::filesystem::create_directories(out);
  ProgramRun exported = run({"--store", store_, "export", "--format", "vcard", "--to", out.string(), "--all-info"});
  ASSERT_EQ(exported.status, 0) << exported.out;
  std::string text;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    text += all.str();
  }
  for (size_t at; (at = text.find("\r\n ")) != std::string::npos;) text.erase(at, 3);
  EXPECT_NE(text.find(encodeBase64(bytes(own))), std::string::npos) << "a photo left alone leaves byte for byte";
  EXPECT_NE(text.find(encodeBase64(bytes(logo))), std::string::npos);
  EXPECT_NE(text.find(encodeBase64(bytes(photoOf("big")))), std::string::npos);

  // Each fix is a change set of its own.
  ASSERT_EQ(run({"--store", store_, "undo"}).status, 0);
  EXPECT_EQ(photoOf("bob"), logo);
  ASSERT_EQ(run({"--store", store_, "undo"}).status, 0);
  EXPECT_EQ(photoOf("big"), big);

  const ProgramRun help = run({"fix", "--help"});
  EXPECT_NE(help.out.find("\"Photo too large\": \"Shrink the photo\", \"Remove the photo\", \"Keep as it is\""),
            std::string::npos)
      << help.out;
}

// The limits the window's preferences keep in the settings file are the command line's too.
TEST_F(PhotoCommandTest, TheLimitsComeFromTheSettingsFile) {
  const std::string vcf = (folder_ / "in.vcf").string();
  std::ofstream(vcf, std::ios::binary) << card("small", "Small", jpeg(halves(300, 200, 0xFF0000, 0x0000FF, true)));
  ASSERT_EQ(run({"--store", store_, "import", vcf}).status, 0);
  const std::filesystem::path config = folder_ / "config";
  std::filesystem::create_directories(config / "rolvane");
  const char* before = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = before ? before : "";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_FALSE(scanJson().contains("LargePhoto"));
  std::ofstream(config / "rolvane" / "rolvane.conf") << "[scan]\nlargePhotoKilobytes=2000\nlargePhotoPixels=256\n";
  EXPECT_EQ(scanJson()["LargePhoto"], nlohmann::json::array({"small"})) << "300 pixels, over 256";
  std::ofstream(config / "rolvane" / "rolvane.conf") << "[scan]\nlargePhotoKilobytes=zero\nlargePhotoPixels=-3\n";
  EXPECT_FALSE(scanJson().contains("LargePhoto")) << "what is no whole number above zero is the default";
  if (before)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

// An HTML page with the photos small in a folder beside it, linked from the page, never inside it.
TEST_F(PhotoCommandTest, AnHtmlPageShowsPhotosFromAFolderBesideIt) {
  const std::string vcf = (folder_ / "in.vcf").string();
  std::ofstream(vcf, std::ios::binary) << card("big", "Large", jpeg(halves(400, 200)))
                                       << card("bad", "Broken", TestPhotos::broken())
                                       << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:None;;;;\r\nUID:none\r\nEND:VCARD\r\n";
  ASSERT_EQ(run({"--store", store_, "import", vcf}).status, 0);
  const std::filesystem::path out = folder_ / "page";
  std::filesystem::create_directories(out);
  EXPECT_EQ(run({"--store", store_, "export", "--format", "csv", "--to", out.string(), "--photos"}).status, 2);
  for (const bool allInfo : {false, true}) {
    std::vector<std::string> args{"--store", store_, "export", "--format", "html", "--to", out.string(), "--photos"};
    if (allInfo) args.push_back("--all-info");
    ProgramRun exported = run(args);
    ASSERT_EQ(exported.status, 0) << exported.out;
    const std::string page = exported.out.substr(0, exported.out.find('\n'));
    std::ifstream in(page, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string html = text.str();
    EXPECT_EQ(html.find("base64"), std::string::npos) << "no photo inside the page";
    const std::string folder = allInfo ? "Zedid-Ovuzazur_photos%280%29" : "Zedid-Ovuzazur_photos";
    EXPECT_NE(html.find("<img src=\"" + folder + "/1.jpg\" width=\"96\" height=\"48\""), std::string::npos) << html;
    size_t images = 0;
    for (size_t at = 0; (at = html.find("<img ", at)) != std::string::npos; ++at) ++images;
    EXPECT_EQ(images, 1u) << "the broken photo and the contact without one have empty cells";
    const auto thumbnail = out / (allInfo ? "Zedid-Ovuzazur_photos(0)" : "Zedid-Ovuzazur_photos") / "1.jpg";
    std::ifstream photo(thumbnail, std::ios::binary);
    std::stringstream bytesRead;
    bytesRead << photo.rdbuf();
    const auto header = Photo::readHeader(bytesRead.str(), false, nullptr);
    ASSERT_TRUE(header) << thumbnail;
    EXPECT_EQ(header->width, 96);
    EXPECT_EQ(header->height, 48);
  }
}

}  // namespace
