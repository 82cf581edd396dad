#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QSignalSpy>
#include <string>
#include <vector>

#include "app/browser/view/LoadContactsViewController.h"
#include "app/browser/view/UserQuestion.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

inline QApplication& viewTestApp() {
  static int argc = 1;
  static char name[] = "browser_view_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct PersonValues {
  std::string first, last, company, homeEmail;
};

inline ABPersonRef addPerson(ABAddressBook& book, const PersonValues& values) {
  auto person = ABPerson::create();
  person->setValueForProperty(values.first, kABFirstNameProperty);
  person->setValueForProperty(values.last, kABLastNameProperty);
  if (!values.company.empty()) person->setValueForProperty(values.company, kABOrganizationProperty);
  if (!values.homeEmail.empty()) {
    ABMultiValue mails;
    mails.addValueWithLabel(values.homeEmail, kABHomeLabel);
    person->setValueForProperty(mails, kABEmailProperty);
  }
  book.addRecord(person);
  return person;
}

// The three contacts the browser's screen tests start from, in store order: Carol Zeller (Acme),
// alice Young (a lower-case first name, no company, no e-mail) and Bob Xavier (Initech).
inline void addThreeContacts(ABAddressBook& book) {
  addPerson(book, {"Carol", "Zeller", "Acme", "carol@home.org"});
  addPerson(book, {"alice", "Young", "", ""});
  addPerson(book, {"Bob", "Xavier", "Initech", "bob@home.org"});
}

// Answers the browser's questions as a test tells it to and keeps what was said.
class ScriptedQuestion : public UserQuestion {
 public:
  bool answer = true;
  int asked = 0;
  std::vector<QString> informed;

  bool confirm(const QString&, const QString&, const QString&, const QString&) override {
    ++asked;
    return answer;
  }
  void inform(const QString& message, const QString& information) override {
    informed.push_back(message + " " + information);
  }
};

inline bool waitForLoad(LoadContactsViewController& browser) {
  QSignalSpy spy(&browser, &LoadContactsViewController::tableViewDataChange);
  return spy.wait(10000);
}
