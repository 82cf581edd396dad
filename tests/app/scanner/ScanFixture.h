#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

class ScanFixture : public ::testing::Test {
 protected:
  ABPersonRef add(std::map<std::string, std::string> values = {},
                  std::vector<std::pair<std::string, std::string>> emails = {},
                  std::vector<std::pair<std::string, std::string>> phones = {}) {
    auto person = ABPerson::create();
    for (auto& [property, value] : values) person->setValueForProperty(value, property);
    auto toList = [](const std::vector<std::pair<std::string, std::string>>& entries) {
      ABMultiValue multi;
      for (auto& [label, value] : entries) multi.addValueWithLabel(value, label);
      return multi;
    };
    if (!emails.empty()) person->setValueForProperty(toList(emails), kABEmailProperty);
    if (!phones.empty()) person->setValueForProperty(toList(phones), kABPhoneProperty);
    book_->addRecord(person);
    return person;
  }

  ScanAddressBook scanner() const { return ScanAddressBook(*book_); }

  std::unique_ptr<ABAddressBook> book_ = ABAddressBook::inMemory();
};

using Persons = std::vector<ABPersonRef>;
