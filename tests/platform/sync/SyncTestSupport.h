#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/sync/SyncState.h"

inline std::string card(const std::string& uid, const std::string& first, const std::string& last,
                        const std::string& extra = "") {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nN:" + last + ";" + first + ";;;\r\nFN:" + first + " " +
         last + "\r\n" + extra + "END:VCARD\r\n";
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string firstName(ABAddressBook& book, const std::string& uid) {
  auto person = book.recordForUniqueId(uid);
  if (!person) return "(gone)";
  return person->stringForProperty(kABFirstNameProperty).value_or("");
}

inline void setNote(ABAddressBook& book, const std::string& uid, const std::string& note) {
  auto person = book.recordForUniqueId(uid);
  ASSERT_TRUE(person);
  ASSERT_TRUE(person->setValueForProperty(ABValue(note), kABNoteProperty));
  ASSERT_TRUE(book.save());
}
