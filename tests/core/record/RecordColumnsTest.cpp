#include "core/record/RecordColumns.h"

#include <gtest/gtest.h>

namespace {

ContactRecord recordOf(std::initializer_list<const char*> keys) {
  ContactRecord record;
  for (const char* key : keys) record.set(key, std::string("x"));
  return record;
}

using Keys = std::vector<std::string>;

}  // namespace

TEST(RecordColumns, KeysInTheOrderTheyFirstAppearWithoutPerson) {
  const ContactRecords records{recordOf({"Person", "Company", "Home Email"}), recordOf({"Home Email", "Note"}),
                               recordOf({}), recordOf({"Person", "Company", "Mobile"})};
  EXPECT_EQ(recordKeysInOrder(records), (Keys{"Company", "Home Email", "Note", "Mobile"}));
  EXPECT_EQ(recordKeysInOrder({}), Keys{});
}

// First Name always leads; Last Name goes second, or first when nothing came before it (then First
// Name, met later, goes in front of it).
TEST(RecordColumns, NamesComeFirstWhereverTheyAppear) {
  EXPECT_EQ(namesFirst({"Company", "Last Name", "Note", "First Name"}),
            (Keys{"First Name", "Company", "Last Name", "Note"}));
  EXPECT_EQ(namesFirst({"Last Name", "Company", "First Name"}), (Keys{"First Name", "Last Name", "Company"}));
  EXPECT_EQ(namesFirst({"Company", "Note"}), (Keys{"Company", "Note"}));
  const ContactRecords records{recordOf({"Company", "Last Name"}), recordOf({"First Name", "Person"})};
  EXPECT_EQ(recordColumns(records), (Keys{"First Name", "Company", "Last Name"}));
}
