// Fixes of similar contacts and of phone numbers, on a real store file.
#include "ReviewFixture.h"
#include "app/review/DetailsPane.h"
#include "app/review/FixPreview.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;

namespace {

class SimilarFixesTest : public ReviewFixture {
 protected:
  void scan(const std::vector<std::string>& conditions, const std::string& region = "DE") {
    ScanAddressBook scanner(*book_);
    scanner.setRegion(region);
    outline_.setOutlineViewDataSouce(scanner.scan(conditions));
    outline_.expandAll();
    outline_.selectFirstContact();
  }
  std::vector<std::string> phonesOf(const std::string& uid) {
    std::vector<std::string> values;
    auto person = reopened()->recordForUniqueId(uid);
    if (auto phones = person ? person->multiValueForProperty(kABPhoneProperty) : std::nullopt)
      for (size_t i = 0; i < phones->count(); ++i)
        values.push_back(phones->labelAtIndex(i) + "=" + phones->stringAtIndex(i));
    return values;
  }
};

const std::string kHome = kABHomeLabel;
const std::string kWork = kABWorkLabel;
const std::string kMobile = kABPhoneMobileLabel;

TEST_F(SimilarFixesTest, MergingSimilarContactsKeepsEveryValueAndAsksFirst) {
  auto jose = add({{kABFirstNameProperty, "Jos\xC3\xA9"},
                   {kABLastNameProperty,
                    "Garc\xC3\xAD"
                    "a"}},
                  {{kHome, "jose@example.org"}}, {{kHome, "030 1234567"}});
  add({{kABFirstNameProperty, "Bob"}, {kABLastNameProperty, "Ray"}});
  auto plain = add({{kABFirstNameProperty, "Jose"}, {kABLastNameProperty, "Garcia"}, {kABJobTitleProperty, "Chef"}},
                   {{kWork, "jg@work.example"}}, {{kMobile, "+49 171 2345678"}});
  scan({"Similar contacts"});
  ASSERT_TRUE(outline_.category(RC::kSimilarContacts));
  auto pane = updateUI(outline_);
  ASSERT_TRUE(pane);
  EXPECT_NE(pane->problemText.find("Jose Garcia (same name apart from accents)"), std::string::npos)
      << pane->problemText;
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kMerge, *book_);
  EXPECT_TRUE(preview.find("The duplicate contacts will be merged into one person."));

  questions_.answer = false;
  FixOutcome cancelled = fix(Opt::kMerge);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_EQ(reopened()->count(), 3u);

  questions_.answer = true;
  selectIn(RC::kSimilarContacts);
  FixOutcome merged = fix(Opt::kMerge);
  ASSERT_TRUE(merged.storeChanged) << merged.error;
  EXPECT_FALSE(outline_.category(RC::kSimilarContacts));
  auto store = reopened();
  ASSERT_EQ(store->count(), 2u);
  EXPECT_FALSE(store->recordForUniqueId(jose->uniqueId()));
  // The later contact is the merged one, under its own id and in its own place.
  ABPersonRef one = store->recordForUniqueId(plain->uniqueId());
  ASSERT_TRUE(one);
  EXPECT_EQ(store->people().back(), one);
  // The later contact's name wins; the other writing of it is kept in the note.
  EXPECT_EQ(one->stringForProperty(kABFirstNameProperty), "Jose");
  EXPECT_NE(one->stringForProperty(kABNoteProperty).value_or("").find("Jos\xC3\xA9"), std::string::npos);
  EXPECT_EQ(one->stringForProperty(kABJobTitleProperty), "Chef");
  EXPECT_EQ(one->multiValueForProperty(kABEmailProperty)->count(), 2u);
  EXPECT_EQ(one->multiValueForProperty(kABPhoneProperty)->count(), 2u);
}

TEST_F(SimilarFixesTest, AGroupThatNoLongerStandsIsNotMerged) {
  auto a = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {}, {{kHome, "+49 30 1234567"}});
  auto b = add({{kABFirstNameProperty, "Annie"}, {kABLastNameProperty, "Ray"}}, {}, {{kHome, "030 1234567"}});
  auto c = add({{kABFirstNameProperty, "Bo"}, {kABLastNameProperty, "Ek"}});
  auto d = add({{kABFirstNameProperty, "bo"}, {kABLastNameProperty, "ek"}});
  scan({"Similar contacts"});
  ASSERT_EQ(outline_.category(RC::kSimilarContacts)->childrenCount(), 2u);
  // Meanwhile Annie's number was corrected, and the second Bo Ek was deleted.
  ABMultiValue phones;
  phones.addValueWithLabel(std::string("030 7654321"), kHome);
  ASSERT_TRUE(b->setValueForProperty(phones, kABPhoneProperty));
  ASSERT_TRUE(book_->addRecord(b));
  ASSERT_TRUE(book_->removeRecord(d));
  ASSERT_TRUE(book_->save());

  FixActions actions(outline_, *book_, questions_);
  const auto& category = *RC::byTitle(RC::kSimilarContacts);
  FixOutcome first = actions.apply(category, outline_.category(RC::kSimilarContacts)->childAtIndex(0), Opt::kMerge);
  EXPECT_FALSE(first.storeChanged);
  EXPECT_EQ(first.stale, "Ann Lee: not fixed, it is no longer linked to Annie Ray");
  EXPECT_TRUE(questions_.asked.empty()) << "nothing is asked about a finding that no longer holds";
  // The group of Bo Ek went with the contact that left the store.
  EXPECT_FALSE(outline_.category(RC::kSimilarContacts));
  auto store = reopened();
  EXPECT_EQ(store->count(), 3u);
  for (const auto& person : {a, b, c}) EXPECT_TRUE(store->recordForUniqueId(person->uniqueId()));
}

TEST_F(SimilarFixesTest, ANumberWrittenTwiceKeepsItsFirstWritingAndLabel) {
  auto ann = add({{kABFirstNameProperty, "Ann"}}, {},
                 {{kWork, "030 1234567"},
                  {kMobile, "+49 171 2345678"},
                  {kHome, "+49 30 123 45 67"},
                  {kMobile, "0171/2345678"},
                  {kHome, "030 1111111"}});
  scan({"Same phone number written differently"});
  auto pane = updateUI(outline_);
  ASSERT_TRUE(pane);
  EXPECT_NE(pane->problemText.find("\xE2\x80\x9C+49 30 123 45 67\xE2\x80\x9D is \xE2\x80\x9C"
                                   "030 1234567"),
            std::string::npos)
      << pane->problemText;
  FixOutcome outcome = fix(Opt::kDeleteDuplicateProperty);
  ASSERT_TRUE(outcome.storeChanged) << outcome.error;
  EXPECT_EQ(phonesOf(ann->uniqueId()),
            (std::vector<std::string>{kWork + "=030 1234567", kMobile + "=+49 171 2345678", kHome + "=030 1111111"}));
  ASSERT_EQ(outcome.changes.size(), 2u);
  EXPECT_EQ(outcome.changes[0].rfind("removed +49 30 123 45 67 (the same number as 030 1234567) from Ann", 0), 0u)
      << outcome.changes[0];
}

TEST_F(SimilarFixesTest, NumbersAreWrittenInInternationalOrE164FormForTheScansRegion) {
  auto ann =
      add({{kABFirstNameProperty, "Ann"}}, {},
          {{kWork, "030 1234567"}, {kMobile, "+44 20 7946 0958"}, {kHome, "555-CALL"}, {kHome, "(0171) 2345678"}});
  auto bob = add({{kABFirstNameProperty, "Bob"}}, {}, {{kWork, "(212) 555-0123"}});
  scan({"Phone number not in international format"});
  // (212) 555-0123 is a valid German number too (area code 0212).
  EXPECT_EQ(outline_.category(RC::kPhoneFormat)->childrenCount(), 2u);
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kWriteE164, *book_);
  EXPECT_TRUE(preview.find("+49301234567"));
  EXPECT_TRUE(preview.find("+491712345678"));
  FixOutcome outcome = fix(Opt::kWriteInternational);
  ASSERT_TRUE(outcome.storeChanged) << outcome.error;
  EXPECT_EQ(phonesOf(ann->uniqueId()),
            (std::vector<std::string>{kWork + "=+49 30 1234567", kMobile + "=+44 20 7946 0958", kHome + "=555-CALL",
                                      kHome + "=+49 171 2345678"}));

  // The same book scanned for the United States: Bob's number, written as E.164.
  scan({"Phone number not in international format"}, "US");
  ASSERT_EQ(outline_.category(RC::kPhoneFormat)->childrenCount(), 1u);
  EXPECT_EQ(outline_.category(RC::kPhoneFormat)->childAtIndex(0)->person()->uniqueId(), bob->uniqueId());
  outcome = fix(Opt::kWriteE164);
  ASSERT_TRUE(outcome.storeChanged) << outcome.error;
  EXPECT_EQ(phonesOf(bob->uniqueId()), (std::vector<std::string>{kWork + "=+12125550123"}));
  EXPECT_FALSE(outline_.category(RC::kPhoneFormat));
}

TEST_F(SimilarFixesTest, APhoneFindingThatNoLongerHoldsChangesNothing) {
  auto ann = add({{kABFirstNameProperty, "Ann"}}, {}, {{kWork, "030 1234567"}, {kHome, "+49 30 1234567"}});
  scan({"Phone number not in international format", "Same phone number written differently"});
  ABMultiValue phones;
  phones.addValueWithLabel(std::string("+49 30 1234567"), kWork);
  ASSERT_TRUE(ann->setValueForProperty(phones, kABPhoneProperty));
  ASSERT_TRUE(book_->addRecord(ann));
  ASSERT_TRUE(book_->save());
  FixActions actions(outline_, *book_, questions_);
  FixOutcome format = actions.apply(*RC::byTitle(RC::kPhoneFormat),
                                    outline_.category(RC::kPhoneFormat)->childAtIndex(0), Opt::kWriteE164);
  EXPECT_EQ(format.stale, "Ann: not fixed, none of its phone numbers is left to write in international format");
  FixOutcome twice =
      actions.apply(*RC::byTitle(RC::kPhoneWrittenDifferently),
                    outline_.category(RC::kPhoneWrittenDifferently)->childAtIndex(0), Opt::kDeleteDuplicateProperty);
  EXPECT_EQ(twice.stale, "Ann: not fixed, none of its phone numbers is written twice any more");
  EXPECT_FALSE(format.storeChanged || twice.storeChanged);
  EXPECT_EQ(phonesOf(ann->uniqueId()), (std::vector<std::string>{kWork + "=+49 30 1234567"}));
}

// "Not the same person" changes no contact and keeps the group out of later scans; undo brings it
// back, and a contact linked to one of them makes a group of its own with it.
TEST_F(SimilarFixesTest, NotTheSamePersonKeepsAGroupOutUntilUndoneOrAnotherContactLinks) {
  auto jose = add({{kABFirstNameProperty, "Jos\xC3\xA9"},
                   {kABLastNameProperty,
                    "Garc\xC3\xAD"
                    "a"}},
                  {}, {{kHome, "030 1234567"}});
  auto plain = add({{kABFirstNameProperty, "Jose"}, {kABLastNameProperty, "Garcia"}});
  auto values = [&] {
    std::map<std::string, ABPersonData> all;
    for (const auto& person : reopened()->people()) all.emplace(person->uniqueId(), *person->snapshot());
    return all;
  };
  auto groups = [&] {
    ScanAddressBook scanner(*book_);
    scanner.setRegion("DE");
    std::vector<std::vector<std::string>> found;
    for (const auto& group : scanner.findSimilarContacts()) {
      found.emplace_back();
      for (const auto& person : group.Persons) found.back().push_back(person->uniqueId());
    }
    return found;
  };
  const std::vector<std::vector<std::string>> both{{jose->uniqueId(), plain->uniqueId()}};
  scan({"Similar contacts"});
  ASSERT_TRUE(outline_.category(RC::kSimilarContacts));
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kNotSamePerson, *book_);
  EXPECT_TRUE(preview.find("No contact will be changed."));
  const auto before = values();

  FixOutcome marked = fix(Opt::kNotSamePerson);
  ASSERT_TRUE(marked.storeChanged) << marked.error;
  EXPECT_TRUE(questions_.asked.empty()) << "nothing to confirm: no contact changes";
  EXPECT_FALSE(outline_.category(RC::kSimilarContacts));
  EXPECT_EQ(values(), before);
  std::vector<ABChangeSet> history;
  ASSERT_TRUE(book_->changeHistory(history));
  EXPECT_EQ(history.front().description,
            "Not the same person: Jos\xC3\xA9 Garc\xC3\xAD"
            "a and Jose Garcia");
  EXPECT_TRUE(groups().empty());

  ASSERT_TRUE(book_->undo(0, false));
  EXPECT_EQ(groups(), both);
  ASSERT_TRUE(book_->redo());
  EXPECT_TRUE(groups().empty());

  // A third one with the same number is linked to José alone: never to both of them.
  auto third = add({{kABFirstNameProperty, "J."}, {kABLastNameProperty, "Garcia"}}, {}, {{kWork, "+49 30 1234567"}});
  EXPECT_EQ(groups(), (std::vector<std::vector<std::string>>{{jose->uniqueId(), third->uniqueId()}}));

  // Marked elsewhere after this scan: the finding is stale, nothing is merged.
  scan({"Similar contacts"});
  ASSERT_TRUE(book_->addMark(ABMarkKind::kNotSamePerson, {jose->uniqueId(), third->uniqueId()}, "",
                             "Not the same person: two"));
  FixActions actions(outline_, *book_, questions_);
  FixOutcome stale = actions.apply(*RC::byTitle(RC::kSimilarContacts),
                                   outline_.category(RC::kSimilarContacts)->childAtIndex(0), Opt::kMerge);
  EXPECT_EQ(stale.stale,
            "Jos\xC3\xA9 Garc\xC3\xAD"
            "a: not fixed, its contacts are marked as not the same person");
  EXPECT_FALSE(stale.storeChanged);
  EXPECT_EQ(reopened()->count(), 3u);
}

// "Keep as it is" changes no contact; the person is not listed again until it holds a number not in
// international form that it did not hold then, and the rewriting options leave kept numbers alone.
TEST_F(SimilarFixesTest, NumbersKeptAsTheyAreAreNotListedUntilANewOneComes) {
  auto ann = add({{kABFirstNameProperty, "Ann"}}, {},
                 {{kWork, "030 1234567"}, {kMobile, "+44 20 7946 0958"}, {kHome, "(0171) 2345678"}});
  auto listed = [&] {
    ScanAddressBook scanner(*book_);
    scanner.setRegion("DE");
    return scanner.findPhonesNotInternational().size();
  };
  scan({"Phone number not in international format"});
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kKeepAsItIs, *book_);
  EXPECT_TRUE(preview.find("030 1234567"));
  EXPECT_TRUE(preview.find("(0171) 2345678"));
  EXPECT_FALSE(preview.find("+44 20 7946 0958"));
  const auto before = phonesOf(ann->uniqueId());

  FixOutcome kept = fix(Opt::kKeepAsItIs);
  ASSERT_TRUE(kept.storeChanged) << kept.error;
  EXPECT_EQ(phonesOf(ann->uniqueId()), before);
  EXPECT_FALSE(outline_.category(RC::kPhoneFormat));
  std::vector<ABChangeSet> history;
  ASSERT_TRUE(book_->changeHistory(history));
  EXPECT_EQ(history.front().description, "Kept 030 1234567 and (0171) 2345678 of Ann as they are");
  EXPECT_EQ(listed(), 0u);
  ASSERT_TRUE(book_->undo(0, false));
  EXPECT_EQ(listed(), 1u) << "undo takes the mark back";
  ASSERT_TRUE(book_->redo());
  EXPECT_EQ(listed(), 0u);

  // A new number not in international form lists Ann again; writing it in international form
  // leaves the kept ones as they are.
  ABMultiValue phones = *ann->multiValueForProperty(kABPhoneProperty);
  phones.addValueWithLabel(std::string("089 7654321"), kHome);
  ASSERT_TRUE(ann->setValueForProperty(phones, kABPhoneProperty));
  ASSERT_TRUE(book_->addRecord(ann));
  ASSERT_TRUE(book_->save());
  EXPECT_EQ(listed(), 1u);
  scan({"Phone number not in international format"});
  auto pane = updateUI(outline_, book_.get());
  ASSERT_TRUE(pane);
  EXPECT_NE(pane->problemText.find("without their country code: \xE2\x80\x9C"
                                   "089 7654321\xE2\x80\x9D (+49 89 7654321)."),
            std::string::npos)
      << pane->problemText;
  EXPECT_NE(pane->problemText.find("Kept as they are written: \xE2\x80\x9C"
                                   "030 1234567"),
            std::string::npos)
      << pane->problemText;
  EXPECT_TRUE(creatScrollerViewWithTitle(outline_, Opt::kWriteInternational, *book_).find("+49 89 7654321"));
  EXPECT_FALSE(creatScrollerViewWithTitle(outline_, Opt::kWriteInternational, *book_).find("+49 30 1234567"));
  FixOutcome written = fix(Opt::kWriteInternational);
  ASSERT_TRUE(written.storeChanged) << written.error;
  EXPECT_EQ(phonesOf(ann->uniqueId()),
            (std::vector<std::string>{kWork + "=030 1234567", kMobile + "=+44 20 7946 0958", kHome + "=(0171) 2345678",
                                      kHome + "=+49 89 7654321"}));
  EXPECT_EQ(listed(), 0u);

  // Kept elsewhere after this scan: the finding is stale and nothing is written.
  auto bob = add({{kABFirstNameProperty, "Bob"}}, {}, {{kWork, "040 1234567"}});
  scan({"Phone number not in international format"});
  ASSERT_TRUE(book_->addMark(ABMarkKind::kKeptPhoneFormat, {bob->uniqueId()}, ABMarkCover::valueOfList({"040 1234567"}),
                             "Kept 040 1234567 of Bob as it is"));
  FixActions actions(outline_, *book_, questions_);
  FixOutcome stale = actions.apply(*RC::byTitle(RC::kPhoneFormat), outline_.category(RC::kPhoneFormat)->childAtIndex(0),
                                   Opt::kWriteE164);
  EXPECT_EQ(stale.stale, "Bob: not fixed, its phone numbers are kept as they are written");
  EXPECT_EQ(phonesOf(bob->uniqueId()), (std::vector<std::string>{kWork + "=040 1234567"}));
}

}  // namespace
