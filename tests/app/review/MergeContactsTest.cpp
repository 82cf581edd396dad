// A merge keeps one winner per single value and every other member's value in the note.
#include <gtest/gtest.h>

#include "app/review/MergeContacts.h"
#include "platform/addressbook/ABConstants.h"

namespace {

ABPersonRef person(std::map<std::string, std::string> values) {
  auto p = ABPerson::create();
  for (auto& [property, value] : values) p->setValueForProperty(value, property);
  return p;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

TEST(MergeContactsTest, EveryMembersDifferingSingleValueGoesIntoTheNote) {
  auto first = person({{kABFirstNameProperty, "Ann"},
                       {kABLastNameProperty, "Lee"},
                       {kABOrganizationProperty, "Acme"},
                       {kABJobTitleProperty, "Boss"},
                       {kABDepartmentProperty, "Sales"},
                       {kABMiddleNameProperty, "Q"},
                       {kABTitleProperty, "Dr"},
                       {kABSuffixProperty, "PhD"},
                       {kABNicknameProperty, "Annie"}});
  first->setValueForProperty(ABDate{1980, 1, 2}, kABBirthdayProperty);
  first->setImageData({1, 2, 3});
  auto second = person({{kABFirstNameProperty, "Ann"},
                        {kABLastNameProperty, "Lee"},
                        {kABOrganizationProperty, "Beta"},
                        {kABJobTitleProperty, "Chief"},
                        {kABDepartmentProperty, "Ops"},
                        {kABMiddleNameProperty, "R"},
                        {kABTitleProperty, "Prof"},
                        {kABSuffixProperty, "MD"},
                        {kABNicknameProperty, "Nan"},
                        {kABNoteProperty, "met at the fair"}});
  second->setValueForProperty(ABDate{1604, 3, 4}, kABBirthdayProperty);
  second->setImageData({4, 5, 6});
  auto third = person({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABJobTitleProperty, "Chief"}});

  auto merged = mergeContacts({first, second, third});
  // The winner of each single value: the last member that has one.
  EXPECT_EQ(merged->stringForProperty(kABOrganizationProperty), "Beta");
  EXPECT_EQ(merged->stringForProperty(kABJobTitleProperty), "Chief");
  EXPECT_EQ(merged->stringForProperty(kABTitleProperty), "Prof");
  EXPECT_EQ(std::get<ABDate>(merged->valueForProperty(kABBirthdayProperty)), (ABDate{1604, 3, 4}));
  EXPECT_EQ(merged->imageData(), (ABBytes{4, 5, 6})) << "a picture cannot go into a note: the winner's stays";
  const std::string note = merged->stringForProperty(kABNoteProperty).value_or("");
  EXPECT_EQ(linesOf(note), (std::vector<std::string>{"met at the fair", "Middle Name: Q", "Suffix: PhD",
                                                     "Company: Acme", "Job Title: Boss", "Birthday: 1980-01-02",
                                                     "Department: Sales", "Nickname: Annie", "Preffix: Dr"}));
}

TEST(MergeContactsTest, NotesAreJoinedWithoutALeadingBreakAndNoEmptyNoteIsWritten) {
  auto a = person({{kABFirstNameProperty, "A"}, {kABNoteProperty, "one"}});
  auto b = person({{kABFirstNameProperty, "A"}, {kABNoteProperty, "two"}});
  auto c = person({{kABFirstNameProperty, "A"}, {kABNoteProperty, "one"}});
  EXPECT_EQ(mergeContacts({a, b, c})->stringForProperty(kABNoteProperty), "one\ntwo");
  auto plain = person({{kABFirstNameProperty, "A"}});
  auto same = person({{kABFirstNameProperty, "A"}});
  auto merged = mergeContacts({plain, same});
  EXPECT_FALSE(merged->stringForProperty(kABNoteProperty)) << "no member had a note";
  EXPECT_EQ(merged->stringForProperty(kABFirstNameProperty), "A");
}

TEST(MergeContactsTest, PropertiesWithoutARuleAreCarriedToo) {
  auto a = person({{kABFirstNameProperty, "A"}, {"X-CUSTOM", "kept"}});
  ABMultiValue list;
  list.addValueWithLabel(std::string("x1"), "l");
  a->setValueForProperty(list, "X-LIST");
  auto b = person({{kABFirstNameProperty, "A"}, {"X-CUSTOM", "winner"}});
  ABMultiValue other;
  other.addValueWithLabel(std::string("x2"), "l");
  b->setValueForProperty(other, "X-LIST");
  auto merged = mergeContacts({a, b});
  EXPECT_EQ(merged->stringForProperty("X-CUSTOM"), "winner");
  EXPECT_EQ(merged->stringForProperty(kABNoteProperty), "X-CUSTOM: kept");
  ASSERT_TRUE(merged->multiValueForProperty("X-LIST"));
  EXPECT_EQ(merged->multiValueForProperty("X-LIST")->count(), 2u);
}
