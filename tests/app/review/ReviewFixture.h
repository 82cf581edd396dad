#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/review/FixActions.h"
#include "app/review/ReviewOutline.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

// Answers the delete confirmation as told and records what was asked.
class ScriptedQuestions : public ReviewQuestions {
 public:
  bool answer = true;
  std::vector<std::string> asked;
  bool confirm(const std::string& title, const std::string& message, const std::string& defaultButton,
               const std::string& alternateButton) override {
    asked.push_back(title + "|" + message + "|" + defaultButton + "|" + alternateButton);
    return answer;
  }
};

class RecordingContacts : public ContactsApplication {
 public:
  std::vector<std::string> shown, edited;
  void selectInAddressBook(const ABPersonRef& person) override { shown.push_back(person->uniqueId()); }
  bool saveEdits = true;  // false: the user cancels the card
  bool editInAddressBook(const ABPersonRef& person) override {
    edited.push_back(person->uniqueId());
    return saveEdits;
  }
};

// A review over a real store file, reopened from disk to check what a fix saved.
class ReviewFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-review-" + std::to_string(getpid()) + "-" + info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    book_ = ABAddressBook::open(folder_ / "book.sqlite");
    ASSERT_TRUE(book_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ABPersonRef add(std::map<std::string, std::string> values,
                  std::vector<std::pair<std::string, std::string>> emails = {},
                  std::vector<std::pair<std::string, std::string>> phones = {}) {
    auto person = ABPerson::create();
    for (auto& [property, value] : values) person->setValueForProperty(value, property);
    auto list = [](const std::vector<std::pair<std::string, std::string>>& entries) {
      ABMultiValue multi;
      for (auto& [label, value] : entries) multi.addValueWithLabel(value, label);
      return multi;
    };
    if (!emails.empty()) person->setValueForProperty(list(emails), kABEmailProperty);
    if (!phones.empty()) person->setValueForProperty(list(phones), kABPhoneProperty);
    book_->addRecord(person);
    book_->save();
    return person;
  }

  std::unique_ptr<ABAddressBook> reopened() { return ABAddressBook::open(folder_ / "book.sqlite"); }

  void build(const std::map<std::string, std::vector<ABPersonRef>>& lists,
             const std::vector<SharedEmailRow>& shared = {}) {
    outline_.setOutlineViewDataSouce(lists, shared);
    outline_.expandAll();
    outline_.selectRow(1);
  }

  void selectIn(const std::string& category, size_t index = 0) {
    ASSERT_TRUE(outline_.category(category)) << category;
    ASSERT_TRUE(outline_.selectItem(outline_.category(category)->childAtIndex(index)));
  }

  FixOutcome fix(const std::string& option) {
    EXPECT_TRUE(outline_.selectOption(option)) << option;
    FixActions actions(outline_, *book_, questions_, &contacts_);
    return actions.FixFounction();
  }

  std::filesystem::path folder_;
  std::unique_ptr<ABAddressBook> book_;
  ReviewOutline outline_;
  ScriptedQuestions questions_;
  RecordingContacts contacts_;
};
