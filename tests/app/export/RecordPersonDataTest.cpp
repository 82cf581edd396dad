#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/export/ExportVCard.h"
#include "app/export/RecordPersonData.h"
#include "app/model/PersonRecord.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

// Records with random keys in random order: every heading, keys that cannot be stored, the person
// reference, birthdays as dates, as text and as text that is no date, awkward values.
ContactRecords mixedRecords(size_t count) {
  std::mt19937 random(11);
  std::vector<std::string> keys = AllInfoColumns::csv();
  for (const char* extra : {"Twitter", "Facebook", "Myspace", "Flickr", "LinkedIn", "Home URL", "Work URL", "Home Page",
                            "Person", "FullName", "Nonexistent", "", "Home ", "Other Foo"})
    keys.push_back(extra);
  const std::string pieces[] = {"Ann", "", "a,b;c\\d", "line\nbreak", "\xc3\xa9t\xc3\xa9", "  ", "1987-04-15"};
  ContactRecords records(count);
  for (auto& record : records) {
    const int values = static_cast<int>(random() % 50);
    for (int v = 0; v < values; ++v) {
      const std::string& key = keys[random() % keys.size()];
      if (key == "Person") {
        record.set(key, ABPerson::create());
      } else if (key == "Birthday" && random() % 2) {
        record.set(key, ABDate{1900 + static_cast<int>(random() % 150), 2, 28});
      } else {
        record.set(key, pieces[random() % std::size(pieces)] + std::to_string(random() % 3));
      }
    }
  }
  return records;
}

std::string withoutUid(ABPersonData data) {
  data.remove(kABUIDProperty);
  return vCardForPerson(data);
}

// Over the record-key table: a record rebuilt into a person reads back as the same record, for
// every key that can be stored, whatever the order and the values.
TEST(RecordPersonDataTest, ARecordRebuiltIntoAPersonReadsBackAsItself) {
  for (const auto& record : mixedRecords(3000)) {
    ContactRecord expected;
    for (const auto& [key, value] : record.entries()) {
      const RecordKeys::RecordKey* row = RecordKeys::find(key);
      if (!row || !RecordKeys::isStored(*row)) continue;
      if (row->family == RecordKeys::Family::Birthday) {
        const auto* text = std::get_if<std::string_view>(&value);
        if (text && !ABDate::fromIsoString(*text)) continue;  // no date: left out
        expected.set(key, text ? *ABDate::fromIsoString(*text) : std::get<ABDate>(value));
        continue;
      }
      expected.set(key, value);
    }
    ContactRecord rebuilt = prasePerson(std::make_shared<ABPerson>(personDataFromRecord(record)));
    rebuilt.remove("Person");
    rebuilt.remove("FullName");
    auto sorted = [](const ContactRecord& r) {
      std::vector<std::pair<std::string, RecordValue>> entries;
      for (const auto& [key, value] : r.entries()) entries.emplace_back(key, value);
      std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      return entries;
    };
    ASSERT_EQ(sorted(rebuilt), sorted(expected));
  }
}

TEST(RecordPersonDataTest, CardsOfAManyFileExportGoToTheirRecordsFiles) {
  const auto folder = std::filesystem::temp_directory_path() / ("rolvane-cards-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  ContactRecords records = mixedRecords(300);
  for (size_t i = 0; i < records.size(); ++i) records[i].set("Note", "card " + std::to_string(i));
  ExportResult result = ExportVCard().exportVcardWithArrayToPath(records, folder.string());
  ASSERT_TRUE(result.ok()) << result.error;
  const std::filesystem::path cards = result.file;
  EXPECT_EQ(cards, folder / "Zedid-Ovuzazur");
  for (size_t i = 0; i < records.size(); ++i) {
    std::ifstream in(cards / ("export_" + std::to_string(i) + ".vcf"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string card = text.str();
    const auto uid = card.find("UID:");
    ASSERT_NE(uid, std::string::npos) << i;
    card.erase(uid, card.find("\r\n", uid) + 2 - uid);
    ASSERT_EQ(card, withoutUid(personDataFromRecord(records[i]))) << i;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cards), {}), 300);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
