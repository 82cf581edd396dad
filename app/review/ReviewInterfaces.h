#pragma once

#include <string>

#include "platform/addressbook/ABPerson.h"

// Modal questions and outside applications the review screen needs; the window answers them with
// dialogs, tests and the command line answer them directly.
class ReviewQuestions {
 public:
  virtual ~ReviewQuestions() = default;
  // An alert with a default and an alternate button; true when the default button was chosen.
  virtual bool confirm(const std::string& title, const std::string& message, const std::string& defaultButton,
                       const std::string& alternateButton) = 0;
};

// The contacts application that shows a person or opens it for editing.
class ContactsApplication {
 public:
  virtual ~ContactsApplication() = default;
  virtual void selectInAddressBook(const ABPersonRef& person) = 0;
  // Returns once the user has finished editing: true when the changes were saved, false when the
  // user cancelled.
  virtual bool editInAddressBook(const ABPersonRef& person) = 0;
};
