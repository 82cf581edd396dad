#include "platform/addressbook/vcard/VCardImporter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardPersonReader.h"
#include "platform/addressbook/vcard/VCardText.h"

namespace {

std::string located(const std::string& source, std::size_t line, const std::string& problem) {
  return source + ":" + std::to_string(line) + ": " + problem;
}

// UTF-16 files (some desktop exporters write them) are turned into UTF-8 before reading.
bool utf16ToUtf8(std::string_view text, std::string& out) {
  bool little = static_cast<unsigned char>(text[0]) == 0xFF;
  CharsetConverter converter;
  return converter.toUtf8(text.substr(2), little ? "UTF-16LE" : "UTF-16BE", out);
}

}  // namespace

VCardImportResult VCardImporter::importText(std::string_view text, const std::string& sourceName) {
  VCardImportResult result;
  std::string converted;
  if (text.size() >= 2 &&
      ((static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) ||
       (static_cast<unsigned char>(text[0]) == 0xFE && static_cast<unsigned char>(text[1]) == 0xFF))) {
    if (!utf16ToUtf8(text, converted)) {
      result.error = located(sourceName, 1, "the UTF-16 text cannot be read");
      return result;
    }
    text = converted;
  }
  VCardLineReader reader(text);
  VCardPersonReader mapper;
  VCardCard card;
  while (reader.nextCard(card)) {
    ABPersonData person;
    VCardSyntaxError error;
    if (!mapper.readCard(card, person, error)) {
      result.persons.clear();
      result.error = located(sourceName, error.line, error.message);
      return result;
    }
    result.persons.push_back(std::move(person));
  }
  if (const auto& error = reader.error()) {
    result.persons.clear();
    result.error = located(sourceName, error->line, error->message);
  }
  return result;
}

VCardImportResult VCardImporter::importFile(const std::filesystem::path& path) {
  VCardImportResult result;
  std::string name = path.string();
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) {
    result.error = name + ": cannot read the file (" + std::strerror(errno) + ")";
    return result;
  }
  std::string text;
  char buffer[1 << 16];
  std::size_t read;
  while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
  bool failed = std::ferror(file);
  int readError = errno;
  std::fclose(file);
  if (failed) {
    result.error = name + ": cannot read the file (" + std::strerror(readError) + ")";
    return result;
  }
  return importText(text, name);
}

VCardBookImportResult importVCardFilesIntoAddressBook(ABAddressBook& book,
                                                      const std::vector<std::filesystem::path>& paths) {
  VCardBookImportResult result;
  std::vector<std::vector<ABPersonData>> files;
  for (const auto& path : paths) {
    VCardImportResult file = VCardImporter::importFile(path);
    if (!file.ok()) {
      result.error = file.error;
      result.files.clear();
      return result;
    }
    result.files.push_back({path, file.persons.size()});
    files.push_back(std::move(file.persons));
  }

  std::unordered_set<std::string> given;
  for (auto& persons : files) {
    for (auto& data : persons) {
      const std::string* uid = data.string(kABUIDProperty);
      if (!uid || uid->empty() || given.count(*uid) || book.recordForUniqueId(*uid))
        data.set(kABUIDProperty, ABPerson::makeUniqueId());
      given.insert(*data.string(kABUIDProperty));
      auto person = std::make_shared<ABPerson>(std::move(data));
      std::string error;
      if (!book.addRecord(person, &error)) {
        for (const auto& added : result.added) book.removeRecord(added);
        result.added.clear();
        result.files.clear();
        result.error = "cannot add a contact to the address book: " + error;
        return result;
      }
      result.added.push_back(std::move(person));
    }
    persons.clear();
    persons.shrink_to_fit();
  }
  return result;
}
