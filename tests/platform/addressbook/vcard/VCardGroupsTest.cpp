#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../TestStorePath.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

using Strings = std::vector<std::string>;

std::vector<ABPersonData> read(const std::string& text) {
  VCardImportResult result = VCardImporter::importText(text);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.persons;
}

ABPersonData readOne(const std::string& text) {
  auto persons = read(text);
  EXPECT_EQ(persons.size(), 1u);
  return persons.empty() ? ABPersonData() : persons.front();
}

// The lines of a card, CRLF and folding undone.
Strings linesOf(const std::string& card) {
  Strings lines;
  std::string text = card, unfolded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "\r\n ") == 0) {
      i += 2;
      continue;
    }
    unfolded += text[i];
  }
  std::size_t at = 0;
  while (at < unfolded.size()) {
    std::size_t end = unfolded.find("\r\n", at);
    if (end == std::string::npos) end = unfolded.size();
    lines.push_back(unfolded.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

bool has(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const std::string kAppleGroup =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family\r\nFN:Family\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
    "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann-1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:bob-2\r\n"
    "UID:group-family\r\nEND:VCARD\r\n";

TEST(VCardGroupsTest, CategoriesAreReadInEveryFormAndWrittenBackAsTheyCame) {
  // Comma-separated, with a space after the comma, an escaped comma inside a name, repeated lines,
  // a name said twice.
  const std::string card =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nCATEGORIES:Family, Smith\\, Jones\r\n"
      "CATEGORIES:Golf,Family\r\nUID:ann-1\r\nEND:VCARD\r\n";
  const ABPersonData ann = readOne(card);
  EXPECT_EQ(ABGroups::categories(ann), (Strings{"Family", "Smith, Jones", "Golf"}));
  EXPECT_FALSE(ABGroups::isGroupCard(ann));
  EXPECT_EQ(ann.string(kABVCardKeptLinesProperty), nullptr);
  // As they came while they are unchanged: both lines, as written.
  const Strings lines = linesOf(vCardForPerson(ann));
  EXPECT_TRUE(has(lines, "CATEGORIES:Family, Smith\\, Jones")) << vCardForPerson(ann);
  EXPECT_TRUE(has(lines, "CATEGORIES:Golf,Family"));
  EXPECT_EQ(ABGroups::categories(readOne(vCardForPerson(ann))), ABGroups::categories(ann));

  // Changed: one line of the names, each escaped, read back the same.
  ABPersonData changed = ann;
  ABMultiValue groups = *ann.multiValue(kABCategoriesProperty);
  groups.addValueWithLabel(std::string("Book club"), std::string());
  changed.set(kABCategoriesProperty, groups);
  const std::string written = vCardForPerson(changed);
  EXPECT_TRUE(has(linesOf(written), "CATEGORIES:Family,Smith\\, Jones,Golf,Book club")) << written;
  EXPECT_EQ(ABGroups::categories(readOne(written)), (Strings{"Family", "Smith, Jones", "Golf", "Book club"}));

  // vCard 2.1 and 4.0 alike.
  EXPECT_EQ(ABGroups::categories(readOne("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Roe;Bo\r\nCATEGORIES:Work\r\nEND:VCARD\r\n")),
            Strings{"Work"});
  EXPECT_EQ(
      ABGroups::categories(readOne("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo Roe\r\nCATEGORIES:Work,Home\r\nEND:VCARD\r\n")),
      (Strings{"Work", "Home"}));
}

TEST(VCardGroupsTest, AnAppleGroupCardIsAGroupWithItsMembersAndGoesOutAsItCame) {
  const ABPersonData group = readOne(kAppleGroup);
  ASSERT_TRUE(ABGroups::isGroupCard(group));
  EXPECT_EQ(ABGroups::groupName(group), "Family");
  EXPECT_EQ(ABGroups::members(group), (Strings{"ann-1", "bob-2"}));
  // No person's name: the name conditions have nothing to find.
  EXPECT_EQ(group.string(kABFirstNameProperty), nullptr);
  EXPECT_EQ(group.string(kABLastNameProperty), nullptr);
  EXPECT_EQ(group.string(kABVCardKeptLinesProperty), nullptr);
  EXPECT_EQ(vCardForPerson(group), kAppleGroup);
  EXPECT_EQ(ABAddressBook::nameForHistory(group), "the group Family");

  // A member added goes out in the same form.
  ABPersonData more = group;
  ABMultiValue members = *group.multiValue(kABGroupMembersProperty);
  members.addEntry({"urn:uuid:", std::string("cy-3")});
  more.set(kABGroupMembersProperty, members);
  const Strings lines = linesOf(vCardForPerson(more));
  EXPECT_TRUE(has(lines, "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:cy-3"));
  EXPECT_TRUE(has(lines, "X-ADDRESSBOOKSERVER-KIND:group"));
  EXPECT_EQ(ABGroups::members(readOne(vCardForPerson(more))), (Strings{"ann-1", "bob-2", "cy-3"}));
}

TEST(VCardGroupsTest, AVersion4GroupCardIsAGroupAndGoesOutInTheSpellingOfVersion3) {
  const std::string card =
      "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Book club\r\nMEMBER:urn:uuid:ann-1\r\n"
      "MEMBER:mailto:zoe@example.org\r\nUID:urn:uuid:club\r\nEND:VCARD\r\n";
  const ABPersonData group = readOne(card);
  ASSERT_TRUE(ABGroups::isGroupCard(group));
  EXPECT_EQ(ABGroups::groupName(group), "Book club");
  EXPECT_EQ(ABGroups::members(group), (Strings{"ann-1", "mailto:zoe@example.org"}));
  const std::string written = vCardForPerson(group);
  const Strings lines = linesOf(written);
  EXPECT_TRUE(has(lines, "X-ADDRESSBOOKSERVER-KIND:group")) << written;
  EXPECT_TRUE(has(lines, "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann-1"));
  EXPECT_TRUE(has(lines, "X-ADDRESSBOOKSERVER-MEMBER:mailto:zoe@example.org"));
  EXPECT_TRUE(has(lines, "FN:Book club"));
  const ABPersonData back = readOne(written);
  EXPECT_TRUE(ABGroups::isGroupCard(back));
  EXPECT_EQ(ABGroups::members(back), ABGroups::members(group));
  EXPECT_EQ(ABGroups::groupName(back), "Book club");
  // Back to a source of vCard 4.0, in its own spellings.
  const Strings back4 = linesOf(vCardForPerson(group, VCardVersion::AsRead));
  EXPECT_TRUE(has(back4, "VERSION:4.0"));
  EXPECT_TRUE(has(back4, "KIND:group"));
  EXPECT_TRUE(has(back4, "MEMBER:urn:uuid:ann-1"));
  EXPECT_FALSE(has(back4, "X-ADDRESSBOOKSERVER-KIND:group"));
  EXPECT_EQ(ABGroups::members(readOne(vCardForPerson(group, VCardVersion::AsRead))), ABGroups::members(group));
  // KIND:individual and KIND:org are no groups.
  EXPECT_FALSE(ABGroups::isGroupCard(readOne("BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:org\r\nFN:Acme\r\nEND:VCARD\r\n")));
  // A MEMBER line of a card that is no group stays a line of the card.
  const ABPersonData person = readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nMEMBER:urn:uuid:x\r\nEND:VCARD\r\n");
  EXPECT_FALSE(ABGroups::isGroupCard(person));
  EXPECT_TRUE(has(linesOf(vCardForPerson(person)), "MEMBER:urn:uuid:x"));
}

// Three persons and an Apple group card of two of them, in a store.
struct GroupBook {
  TempFolder folder;
  std::unique_ptr<ABAddressBook> book;
  GroupBook() {
    std::string error;
    book = ABAddressBook::open(folder.file("book.sqlite"), &error);
    EXPECT_TRUE(book) << error;
    const std::string cards =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nCATEGORIES:Golf\r\nUID:ann-1\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Roe;Bob\r\nUID:bob-2\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Day;Cy\r\nCATEGORIES:Golf,Work\r\nUID:cy-3\r\nEND:VCARD\r\n" +
        kAppleGroup;
    for (auto& data : read(cards)) EXPECT_TRUE(book->addRecord(std::make_shared<ABPerson>(std::move(data))));
    EXPECT_TRUE(book->save());
  }
  ABPersonRef person(const std::string& uid) const { return book->recordForUniqueId(uid); }
  Strings groupsOf(const std::string& uid) const {
    return ABGroups::Index(book->people()).groupsOf(*person(uid)->snapshot());
  }
  Strings membersOf(const std::string& name) const {
    const ABGroups::Index index(book->people());
    const ABGroups::Group* group = index.find(name);
    return group ? group->members : Strings();
  }
  // The description of the newest change set in effect.
  std::string lastChange() const {
    std::vector<ABChangeSet> changes;
    EXPECT_TRUE(book->changeHistory(changes));
    for (const auto& change : changes)
      if (!change.undone) return change.description;
    return {};
  }
};

TEST(VCardGroupsTest, TheGroupsOfABookAreItsCategoriesAndGroupCardsInOneList) {
  GroupBook b;
  const ABGroups::Index index(b.book->people());
  EXPECT_EQ(index.persons(), 3u);
  EXPECT_EQ(index.withoutGroup(), 0u);
  ASSERT_EQ(index.groups().size(), 3u);
  EXPECT_EQ(index.groups()[0].name, "Family");
  EXPECT_EQ(index.groups()[0].members, (Strings{"ann-1", "bob-2"}));
  EXPECT_EQ(index.groups()[0].cards, Strings{"group-family"});
  EXPECT_EQ(index.groups()[1].name, "Golf");
  EXPECT_EQ(index.groups()[1].members, (Strings{"ann-1", "cy-3"}));
  EXPECT_EQ(b.groupsOf("ann-1"), (Strings{"Golf", "Family"}));
  EXPECT_EQ(ABGroups::personsOnly(b.book->people()).size(), 3u);
}

TEST(VCardGroupsTest, EachChangeOfGroupsIsOneChangeSetThatUndoTakesBackWhole) {
  GroupBook b;
  auto undo = [&] {
    std::string error;
    EXPECT_TRUE(b.book->undo(0, false, nullptr, &error)) << error;
  };

  // Into a group card: the card lists the person; into a category group: the person's category.
  ABGroups::Change added = ABGroups::addToGroup(*b.book, "Family", {b.person("cy-3")});
  ASSERT_TRUE(added.ok()) << added.error;
  EXPECT_EQ(added.contacts, 2u);  // the person added and the card
  EXPECT_EQ(b.membersOf("Family"), (Strings{"ann-1", "bob-2", "cy-3"}));
  EXPECT_EQ(ABGroups::categories(*b.person("cy-3")->snapshot()), (Strings{"Golf", "Work"}));
  EXPECT_EQ(b.lastChange(), "Added Cy Day to the group Family");
  undo();
  EXPECT_EQ(b.membersOf("Family"), (Strings{"ann-1", "bob-2"}));

  ABGroups::Change golf = ABGroups::addToGroup(*b.book, "Golf", {b.person("bob-2"), b.person("ann-1")});
  ASSERT_TRUE(golf.ok());
  EXPECT_EQ(golf.changes, Strings{"added Bob Roe <bob-2> to Golf"});
  EXPECT_EQ(b.membersOf("Golf"), (Strings{"ann-1", "bob-2", "cy-3"}));
  undo();
  EXPECT_EQ(b.membersOf("Golf"), (Strings{"ann-1", "cy-3"}));

  // A new group is a category.
  ASSERT_TRUE(ABGroups::addToGroup(*b.book, "Choir", {b.person("bob-2")}).ok());
  EXPECT_EQ(ABGroups::categories(*b.person("bob-2")->snapshot()), Strings{"Choir"});
  undo();

  // Out of both forms at once.
  ASSERT_TRUE(ABGroups::addToGroup(*b.book, "Golf", {b.person("bob-2")}).ok());
  ASSERT_TRUE(ABGroups::removeFromGroup(*b.book, "Family", {b.person("ann-1")}).ok());
  EXPECT_EQ(b.membersOf("Family"), Strings{"bob-2"});
  undo();
  EXPECT_EQ(b.membersOf("Family"), (Strings{"ann-1", "bob-2"}));
  undo();

  // Rename: the card's name and every category, one change set.
  ABGroups::Change renamed = ABGroups::renameGroup(*b.book, "Golf", "Family");
  ASSERT_TRUE(renamed.ok()) << renamed.error;
  EXPECT_EQ(b.lastChange(), "Renamed the group Golf to Family");
  EXPECT_EQ(b.membersOf("Family"), (Strings{"ann-1", "bob-2", "cy-3"}));
  EXPECT_EQ(b.membersOf("Golf"), Strings{});
  undo();
  EXPECT_EQ(b.membersOf("Golf"), (Strings{"ann-1", "cy-3"}));

  // Delete: the card goes to the trash, the categories go, the persons stay.
  ASSERT_TRUE(ABGroups::deleteGroup(*b.book, "Family").ok());
  EXPECT_EQ(b.person("group-family"), nullptr);
  EXPECT_EQ(b.book->people().size(), 3u);
  std::vector<ABTrashEntry> trash;
  ASSERT_TRUE(b.book->trash(trash));
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash[0].person->uniqueId(), "group-family");
  ASSERT_TRUE(ABGroups::deleteGroup(*b.book, "Golf").ok());
  EXPECT_EQ(b.groupsOf("cy-3"), Strings{"Work"});
  undo();
  undo();
  EXPECT_EQ(b.membersOf("Family"), (Strings{"ann-1", "bob-2"}));
  EXPECT_EQ(b.membersOf("Golf"), (Strings{"ann-1", "cy-3"}));

  // A group card is no contact to put into a group.
  ABGroups::Change refused = ABGroups::addToGroup(*b.book, "Golf", {b.person("group-family")});
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.error.find("is a group"), std::string::npos);
}

TEST(VCardGroupsTest, AMergeOfMembersLeavesTheMergedContactInTheCard) {
  GroupBook b;
  ABGroups::replaceMembers(*b.book, {"ann-1", "bob-2"}, "cy-3");
  EXPECT_EQ(ABGroups::members(*b.person("group-family")->snapshot()), Strings{"cy-3"});
  ASSERT_TRUE(b.book->save());
  // Written back with the merged contact once.
  EXPECT_TRUE(
      has(linesOf(b.person("group-family")->vCardRepresentation()), "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:cy-3"));
}

}  // namespace
