#include "core/record/ContactRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/addressbook/ABPerson.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Every entry as (key, text), dates by their text and the person as "<person>", in record order.
Pairs pairsOf(const ContactRecord& record) {
  Pairs pairs;
  for (const auto& [key, value] : record.entries()) {
    if (const auto* text = std::get_if<std::string_view>(&value))
      pairs.emplace_back(key, std::string(*text));
    else if (const auto* date = std::get_if<ABDate>(&value))
      pairs.emplace_back(key, "date " + date->toIsoString());
    else
      pairs.emplace_back(key, "<person>");
  }
  return pairs;
}

}  // namespace

// Values set again in place, removed and added again: the keys keep the order of their first
// setting, and every value beside a changed one stays whole while the texts behind it move.
TEST(ContactRecordTest, SettingAndRemovingKeepFirstSetOrderAndNeighbours) {
  ContactRecord record;
  record.set("First Name", std::string("Ann"));
  record.set("Note", std::string("short"));
  record.set("Home City", std::string("Oslo"));
  record.set("Note", std::string(300, 'n'));  // grows in the middle
  EXPECT_EQ(pairsOf(record), (Pairs{{"First Name", "Ann"}, {"Note", std::string(300, 'n')}, {"Home City", "Oslo"}}));
  record.set("Note", std::string());  // shrinks to nothing; the key stays where it is
  EXPECT_EQ(pairsOf(record), (Pairs{{"First Name", "Ann"}, {"Note", ""}, {"Home City", "Oslo"}}));
  EXPECT_TRUE(record.remove("First Name"));
  EXPECT_FALSE(record.remove("First Name"));
  EXPECT_FALSE(record.remove("Never a key of anything at all"));
  record.set("First Name", std::string("Bo"));  // set again after removal: now the last key
  EXPECT_EQ(pairsOf(record), (Pairs{{"Note", ""}, {"Home City", "Oslo"}, {"First Name", "Bo"}}));
  EXPECT_EQ(record.keys(), (std::vector<std::string>{"Note", "Home City", "First Name"}));
  EXPECT_EQ(record.size(), 3u);
  EXPECT_EQ(record.textOr("Home City"), "Oslo");
  EXPECT_EQ(record.textOr("Mobile", "none"), "none");

  // A value read from the record itself and set under another key, while the record grows.
  for (int i = 0; i < 40; ++i) record.set("Key " + std::to_string(i), *record.find("Home City"));
  record.set("Home City", *record.find("Key 39"));
  record.set("Note", *record.find("Home City"));
  EXPECT_EQ(record.text("Key 0"), "Oslo");
  EXPECT_EQ(record.text("Key 39"), "Oslo");
  EXPECT_EQ(record.text("Note"), "Oslo");
  EXPECT_EQ(record.size(), 43u);

  // Given back its spare room, the record holds the same and grows again when set.
  const ContactRecord before = record;
  record.shrinkToFit();
  EXPECT_EQ(record, before);
  record.set("Mobile", std::string("555"));
  record.set("Home City", std::string("Bergen"));
  EXPECT_EQ(record.text("Mobile"), "555");
  EXPECT_EQ(record.text("Key 39"), "Oslo");
  EXPECT_EQ(record.text("Home City"), "Bergen");
  ContactRecord emptied;
  emptied.set("Note", std::string("x"));
  emptied.remove("Note");
  emptied.shrinkToFit();
  EXPECT_TRUE(emptied.empty());
  EXPECT_EQ(emptied, ContactRecord());
}

// Records that hold the same keys in the same order with the same values are equal, however they
// got there; order, the kind of a value and the person all count.
TEST(ContactRecordTest, EqualityIsByOrderValueKindAndPerson) {
  ContactRecord direct;
  direct.set("Company", std::string("Acme"));
  direct.set("Note", std::string("n"));
  ContactRecord edited;
  edited.set("Company", std::string("A much longer name than the final one"));
  edited.set("Mobile", std::string("123"));
  edited.set("Note", std::string("n"));
  edited.set("Company", std::string("Acme"));
  EXPECT_NE(direct, edited);
  edited.remove("Mobile");
  EXPECT_EQ(direct, edited);
  EXPECT_EQ(ContactRecord(edited), direct);

  ContactRecord swapped;
  swapped.set("Note", std::string("n"));
  swapped.set("Company", std::string("Acme"));
  EXPECT_NE(direct, swapped);

  ContactRecord asText;
  asText.set("Birthday", std::string("1990-04-01"));
  ContactRecord asDate;
  asDate.set("Birthday", ABDate{1990, 4, 1});
  EXPECT_NE(asText, asDate);
  EXPECT_EQ(asText.text("Birthday"), asDate.text("Birthday"));

  auto one = ABPerson::create();
  auto two = ABPerson::create();
  ContactRecord ofOne = direct, ofTwo = direct;
  ofOne.set("Person", one);
  ofTwo.set("Person", two);
  EXPECT_NE(ofOne, ofTwo);
  ofTwo.set("Person", one);
  EXPECT_EQ(ofOne, ofTwo);
}

// Dates stay dates (a birthday without a year shows as --MM-DD); a key can change from a date to
// text and back; a date between texts leaves them whole.
TEST(ContactRecordTest, DatesKeepTheirKindBetweenTexts) {
  ContactRecord record;
  record.set("Note", std::string("before"));
  record.set("Birthday", ABDate{ContactRecord::kYearNotKnown, 3, 14});
  record.set("Company", std::string("after"));
  EXPECT_EQ(std::get<ABDate>(*record.find("Birthday")), (ABDate{ContactRecord::kYearNotKnown, 3, 14}));
  EXPECT_EQ(record.text("Birthday"), "--03-14");
  record.set("Birthday", std::string("someday"));
  EXPECT_EQ(std::get<std::string_view>(*record.find("Birthday")), "someday");
  record.set("Birthday", ABDate{1980, 1, 31});
  EXPECT_EQ(pairsOf(record), (Pairs{{"Note", "before"}, {"Birthday", "date 1980-01-31"}, {"Company", "after"}}));
}

// The person is held by the record while a key refers to it, and let go when no key does.
TEST(ContactRecordTest, ThePersonIsHeldOnlyWhileAKeyRefersToIt) {
  auto person = ABPerson::create();
  ContactRecord record;
  record.set("Person", person);
  record.set("Company", std::string("Acme"));
  EXPECT_EQ(record.person(), person);
  EXPECT_TRUE(std::holds_alternative<RecordPerson>(*record.find("Person")));
  EXPECT_FALSE(record.text("Person").has_value());
  EXPECT_EQ(pairsOf(record), (Pairs{{"Person", "<person>"}, {"Company", "Acme"}}));

  ContactRecord copy = record;
  copy.set("Person", std::string("no longer a person"));
  EXPECT_EQ(copy.person(), nullptr);
  EXPECT_EQ(copy.text("Person"), "no longer a person");
  EXPECT_EQ(person.use_count(), 2) << "the copy let go of the person";
  EXPECT_TRUE(record.remove("Person"));
  EXPECT_EQ(person.use_count(), 1) << "a removed person is let go of";
  EXPECT_EQ(record.person(), nullptr);

  // A person reference read from one record and set into another is the same person.
  ContactRecord first, second;
  first.set("Person", person);
  second.set("Person", *first.find("Person"));
  EXPECT_EQ(second.person(), person);
  EXPECT_EQ(first, second);
}

// Keys outside the record-key table are kept like any other, under one number for each name,
// whichever thread names them first.
TEST(ContactRecordTest, KeysOutsideTheTableAreKept) {
  ContactRecord record;
  record.set("Home Address", std::string("1 Main,Oslo"));
  record.set("", std::string("empty key"));
  const std::string longKey(5000, 'k');
  record.set(longKey, std::string("long key"));
  EXPECT_EQ(pairsOf(record), (Pairs{{"Home Address", "1 Main,Oslo"}, {"", "empty key"}, {longKey, "long key"}}));
  EXPECT_FALSE(ContactRecord::idOf("Only ever looked up").has_value()) << "looking up names no key";
  EXPECT_FALSE(record.contains("Only ever looked up"));

  std::vector<std::thread> threads;
  std::vector<std::vector<RecordKeyId>> ids(4);
  for (size_t t = 0; t < ids.size(); ++t)
    threads.emplace_back([&, t] {
      for (int k = 0; k < 200; ++k) ids[t].push_back(ContactRecord::keyId("Threaded key " + std::to_string(k)));
    });
  for (auto& thread : threads) thread.join();
  for (size_t t = 1; t < ids.size(); ++t) EXPECT_EQ(ids[t], ids[0]);
  for (int k = 0; k < 200; ++k)
    EXPECT_EQ(ContactRecord::keyName(ids[0][static_cast<size_t>(k)]), "Threaded key " + std::to_string(k));
}

// Values of several megabytes, copied and moved records.
TEST(ContactRecordTest, LongValuesSurviveCopiesMovesAndEdits) {
  const std::string note(6 << 20, 'x');
  ContactRecord record;
  record.set("First Name", std::string("Ann"));
  record.set("Note", note);
  record.set("Last Name", std::string("Lee"));
  ContactRecord copy = record;
  ContactRecord moved = std::move(record);
  EXPECT_EQ(moved, copy);
  EXPECT_EQ(moved.text("Note"), note);
  moved.set("First Name", std::string(1 << 20, 'a'));
  EXPECT_EQ(moved.text("Note"), note);
  EXPECT_EQ(moved.text("Last Name"), "Lee");
  copy = moved;
  EXPECT_EQ(copy.text("First Name"), std::string(1 << 20, 'a'));
  record = std::move(copy);
  EXPECT_EQ(record, moved);
}
