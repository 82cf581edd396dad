#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "app/export/ExportContact.h"
#include "platform/addressbook/ABPerson.h"

namespace {

struct Browser : ExportBrowserSource {
  std::vector<std::string> columns;
  ContactRecords records;
  std::vector<std::string> tableColumnIdentifiers() const override { return columns; }
  ContactRecords getTableViewDataArray() const override { return records; }
};

struct Recorder : ExportReporter {
  std::mutex mutex;
  std::vector<std::pair<std::string, ExportResult>> seen;
  void exportFinished(const std::string& title, const ExportResult& result) override {
    std::lock_guard lock(mutex);
    seen.emplace_back(title, result);
  }
};

ContactRecord record(const std::string& first, const std::string& company) {
  ContactRecord r;
  r.set("First Name", first);
  if (!company.empty()) r.set("Company", company);
  r.set("Note", std::string("hidden"));
  r.set("Person", ABPerson::create());
  return r;
}

// Captures what a writer is handed instead of writing.
struct Capture {
  ContactRecords records;
  std::string destination;
  bool allInfo = false;
  ExportContact::Writer writer() {
    return [this](const ContactRecords& r, const std::string& d, bool a) {
      records = r;
      destination = d;
      allInfo = a;
      return ExportResult{d, ""};
    };
  }
};

TEST(ExportDriverTest, FormatTableTitlesDestinationsAndFlags) {
  ExportContact driver;
  std::vector<std::string> titles;
  for (const auto& f : driver.formats()) titles.push_back(f.title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Save to Excel", "Save to HTML", "Save to Pages", "Save to Numbers",
                                      "Save to CSV", "Save to Docx", "Save to vCard", "Save to TXT", "vCard, one file",
                                      "Save to Google CSV", "Save to Outlook CSV", "Save to CSV, every value"}));
  Browser browser;
  browser.records = {record("Ann", "Acme")};
  browser.columns = {"First Name"};
  driver.setLoadContactsViewController(&browser);
  driver.setExportArray(browser.records);
  Capture capture;
  for (const std::string title : {"Save to Docx", "Save to CSV", "Save to vCard", "Save to Excel", "vCard, one file"}) {
    driver.setWriter(title, capture.writer());
    ASSERT_TRUE(driver.runExport(title, "/out", ExportContact::kTagAllInformation).ok());
    const bool named = title == "Save to Docx" || title == "Save to Excel" || title == "vCard, one file";
    EXPECT_EQ(capture.destination, named ? "/out/Zedid-Ovuzazur" : "/out") << title;
    // The vCard writers take the flag too: with all information they write the persons whole.
    const bool flag = title != "Save to Docx";
    EXPECT_EQ(capture.allInfo, flag) << title;
  }
  EXPECT_FALSE(driver.runExport("Save to Excel", "/out", 3).ok());
  EXPECT_FALSE(driver.runExport("Save to PDF", "/out", 1).ok());
  ExportContact plain;
  ExportResult absent = plain.runExport("Save to Pages", "/out", 1);
  EXPECT_FALSE(absent.ok());
  EXPECT_FALSE(absent.error.empty());
}

TEST(ExportDriverTest, ShownColumnsOfTheBrowserOrTheSelection) {
  Browser browser;
  browser.columns = {"Company", "First Name", "Person"};
  browser.records = {record("Ann", "Acme"), record("Bob", "")};
  ExportContact driver;
  driver.setLoadContactsViewController(&browser);
  driver.setExportArray({record("Sel", "Sold")});
  Capture capture;
  driver.setWriter("Save to CSV", capture.writer());

  driver.setIsExportAllPeople(true);
  driver.runExport("Save to CSV", "/out", ExportContact::kTagShownColumns);
  ASSERT_EQ(capture.records.size(), 2u);
  EXPECT_EQ(capture.records[0].keys(), (std::vector<std::string>{"Company", "First Name"}));
  EXPECT_EQ(capture.records[1].keys(), (std::vector<std::string>{"First Name"}));  // no empty entry
  EXPECT_FALSE(capture.allInfo);

  driver.setIsExportAllPeople(false);
  driver.runExport("Save to CSV", "/out", ExportContact::kTagShownColumns);
  ASSERT_EQ(capture.records.size(), 1u);
  EXPECT_EQ(capture.records[0].textOr("First Name"), "Sel");

  driver.runExport("Save to CSV", "/out", ExportContact::kTagAllInformation);
  ASSERT_EQ(capture.records.size(), 1u);
  EXPECT_TRUE(capture.records[0].contains("Note"));
  EXPECT_TRUE(capture.allInfo);
}

// An export of all information hands the writer the export array itself, on the calling thread and
// on the export's own thread, and the array outlives a new one set while the export runs: a large
// address book is never held twice.
TEST(ExportDriverTest, AllInformationWritesTheExportArrayWithoutACopy) {
  ExportContact driver;
  driver.setExportArray({record("Ann", "Acme"), record("Bob", "")});
  const ContactRecords* given = nullptr;
  size_t count = 0;
  driver.setWriter("Save to CSV", [&](const ContactRecords& records, const std::string& d, bool) {
    given = &records;
    count = records.size();
    return ExportResult{d, ""};
  });
  ASSERT_TRUE(driver.runExport("Save to CSV", "/out", ExportContact::kTagAllInformation).ok());
  EXPECT_EQ(given, &driver.exportArray());

  auto prepared = driver.prepareExport("Save to CSV", "/out", ExportContact::kTagAllInformation);
  ASSERT_TRUE(prepared);
  EXPECT_EQ(&prepared->records(), &driver.exportArray());
  driver.setExportArray({record("Cy", "")});  // the browser reloads meanwhile
  ASSERT_TRUE(ExportContact::run(*prepared).ok());
  EXPECT_EQ(given, &prepared->records());
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(prepared->records()[1].textOr("First Name"), "Bob");
}

TEST(ExportDriverTest, AnExportFirstRemovesWhatAKilledExportLeftInItsFolder) {
  const auto folder = std::filesystem::temp_directory_path() / ("rolvane-driver-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto leftover = folder / ".Zedid-Ovuzazur.csv.Ab12Cd.part";
  { std::ofstream(leftover) << "half a file"; }
  std::filesystem::last_write_time(leftover, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  ExportContact driver;
  driver.setExportArray({record("Ann", "Acme")});
  const ExportResult result = driver.runExport("Save to CSV", folder.string(), ExportContact::kTagAllInformation);
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_TRUE(std::filesystem::exists(result.file));
  std::filesystem::remove_all(folder);
}

TEST(ExportDriverTest, ThreadedExportsReportTheirOwnResults) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-driver-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  ExportContact driver;
  driver.setExportArray({record("Ann", "Acme")});
  Recorder recorder;
  std::vector<std::thread> threads;
  for (const std::string title : {"Save to CSV", "Save to CSV", "Save to TXT", "Save to HTML", "Save to vCard"})
    threads.push_back(driver.startExport(title, folder.string(), ExportContact::kTagAllInformation, &recorder));
  threads.push_back(
      driver.startExport("Save to HTML", (folder / "missing").string(), ExportContact::kTagAllInformation, &recorder));
  EXPECT_FALSE(driver.startExport("Save to CSV", folder.string(), 0, &recorder).joinable());
  for (auto& t : threads) t.join();
  ASSERT_EQ(recorder.seen.size(), 6u);
  std::set<std::string> files;
  size_t failures = 0;
  for (const auto& [title, result] : recorder.seen) {
    if (!result.ok()) {
      ++failures;
      EXPECT_FALSE(result.error.empty());
      continue;
    }
    EXPECT_TRUE(std::filesystem::exists(result.file)) << title;
    files.insert(result.file);
  }
  EXPECT_EQ(failures, 1u);
  EXPECT_EQ(files.size(), 5u);  // the two CSV exports picked different names
  EXPECT_TRUE(std::filesystem::exists(folder / "Zedid-Ovuzazur" / "export_0.vcf"));
  std::filesystem::remove_all(folder);
}

}  // namespace
