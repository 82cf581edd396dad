#include "platform/addressbook/vcard/VCardImporter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>
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

struct CardsRead {
  std::vector<ABPersonData> persons;
  std::optional<VCardSyntaxError> error;  // then persons holds those read before it
  bool stopped = false;
};

// Reads the cards of reader until the text ends, the reader stops, a card is malformed or cancel is
// set.
void readCards(VCardLineReader& reader, CardsRead& out, const std::atomic<bool>& cancel) {
  VCardPersonReader mapper;
  VCardCard card;
  while (!cancel.load(std::memory_order_relaxed) && reader.nextCard(card)) {
    ABPersonData person;
    VCardSyntaxError error;
    if (!mapper.readCard(card, person, error)) {
      out.error = error;
      return;
    }
    out.persons.push_back(std::move(person));
  }
  if (reader.error()) out.error = *reader.error();
  out.stopped = reader.stopped();
}

// The start of a line near the middle of text that begins a card, or npos.
std::size_t cardStartNearMiddle(std::string_view text) {
  constexpr std::string_view kBegin = "BEGIN:VCARD";
  for (std::size_t newline = text.find('\n', text.size() / 2); newline != std::string_view::npos;
       newline = text.find('\n', newline + 1)) {
    if (equalsIgnoringCase(text.substr(newline + 1, kBegin.size()), kBegin)) return newline + 1;
  }
  return std::string_view::npos;
}

// Large texts are read in two parts on two cores: the second part from a card start near the
// middle, the first part up to that point. The first reader confirms that the point lies between
// two cards; if it does not (the point is inside a card or a value), or the first part is
// malformed, the first reader's result alone stands, as if the text had been read in one go.
CardsRead readCardsOnTwoCores(std::string_view text) {
  constexpr std::size_t kTextForTwoParts = 1 << 20;
  constexpr std::size_t kBytesPerCardGuess = 256;
  CardsRead first, second;
  std::atomic<bool> cancel{false};
  std::size_t split = text.size() >= kTextForTwoParts ? cardStartNearMiddle(text) : std::string_view::npos;
  if (split == std::string_view::npos) {
    VCardLineReader reader(text);
    readCards(reader, first, cancel);
    return first;
  }
  std::string_view secondPart = text.substr(split);
  std::size_t linesBefore = static_cast<std::size_t>(std::count(text.begin(), text.begin() + split, '\n'));
  std::thread other([&] {
    second.persons.reserve(secondPart.size() / kBytesPerCardGuess);
    VCardLineReader reader(secondPart, linesBefore);
    readCards(reader, second, cancel);
  });
  first.persons.reserve(split / kBytesPerCardGuess);
  VCardLineReader reader(text);
  reader.stopAt(split);
  readCards(reader, first, cancel);
  if (!first.stopped) cancel.store(true, std::memory_order_relaxed);
  other.join();
  if (!first.stopped) return first;
  if (second.error) return second;
  first.persons.insert(first.persons.end(), std::make_move_iterator(second.persons.begin()),
                       std::make_move_iterator(second.persons.end()));
  first.stopped = false;
  return first;
}

constexpr std::size_t kPersonsForSecondThread = 2000;

// Gives a new unique id to every person whose id is missing, in the book or taken by an earlier
// person of the list.
void settleUniqueIds(const ABAddressBook& book, const std::vector<ABPersonData*>& persons) {
  auto hasOwnId = [](const ABPersonData* data) {
    const std::string* uid = data->string(kABUIDProperty);
    return uid && !uid->empty();
  };
  // Without ids of their own, every person gets a new id when it is made (ABPerson).
  if (std::none_of(persons.begin(), persons.end(), hasOwnId)) return;
  std::unordered_set<std::string_view> given;  // views the ids of the persons settled so far
  given.reserve(persons.size());
  for (ABPersonData* data : persons) {
    const std::string* uid = data->string(kABUIDProperty);
    if (!uid || uid->empty() || given.count(*uid) || book.recordForUniqueId(*uid)) {
      data->set(kABUIDProperty, ABPerson::makeUniqueId());
      uid = data->string(kABUIDProperty);
    }
    given.insert(*uid);
  }
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
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Lines that end in a carriage return alone (old Mac exports) are read as lines.
  std::string lineFeeds;
  if (text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos) {
    lineFeeds.assign(text);
    std::replace(lineFeeds.begin(), lineFeeds.end(), '\r', '\n');
    text = lineFeeds;
  }

  CardsRead cards = readCardsOnTwoCores(text);
  if (cards.error) {
    result.error = located(sourceName, cards.error->line, cards.error->message);
    return result;
  }
  result.persons = std::move(cards.persons);
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
  std::error_code sizeError;
  auto size = std::filesystem::file_size(path, sizeError);
  if (!sizeError) text.reserve(static_cast<std::size_t>(size) + 1);
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

VCardFilesRead readVCardFiles(const std::vector<std::filesystem::path>& paths) {
  VCardFilesRead read;
  for (const auto& path : paths) {
    VCardImportResult file = VCardImporter::importFile(path);
    if (!file.ok()) {
      read.error = file.error;
      read.files.clear();
      read.persons.clear();
      return read;
    }
    read.files.push_back({path, file.persons.size()});
    read.persons.push_back(std::move(file.persons));
  }
  return read;
}

VCardBookImportResult importVCardFilesIntoAddressBook(ABAddressBook& book,
                                                      const std::vector<std::filesystem::path>& paths) {
  return addVCardFilesToAddressBook(book, readVCardFiles(paths));
}

VCardBookImportResult addVCardFilesToAddressBook(ABAddressBook& book, VCardFilesRead read) {
  VCardBookImportResult result;
  if (!read.ok()) {
    result.error = std::move(read.error);
    return result;
  }
  result.files = std::move(read.files);
  std::vector<std::vector<ABPersonData>>& files = read.persons;

  std::vector<ABPersonData*> all;
  for (auto& persons : files)
    for (auto& data : persons) all.push_back(&data);
  settleUniqueIds(book, all);

  // The persons are made on two cores, each half in its own place of the list.
  std::vector<ABPersonRef> added(all.size());
  auto make = [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) added[i] = std::make_shared<ABPerson>(std::move(*all[i]));
  };
  if (all.size() < kPersonsForSecondThread) {
    make(0, all.size());
  } else {
    std::thread other(make, all.size() / 2, all.size());
    make(0, all.size() / 2);
    other.join();
  }
  all.clear();
  files.clear();
  std::string error;
  if (!book.addRecords(added, &error)) {
    result.files.clear();
    result.error = "cannot add a contact to the address book: " + error;
    return result;
  }
  result.added = std::move(added);
  book.setNextChangeDescription(describeVCardImport(result.files));
  return result;
}

std::size_t countVCardUidsInAddressBook(const ABAddressBook& book, const VCardFilesRead& read) {
  std::size_t found = 0;
  for (const auto& persons : read.persons) {
    for (const auto& data : persons) {
      const std::string* uid = data.string(kABUIDProperty);
      if (uid && !uid->empty() && book.recordForUniqueId(*uid)) ++found;
    }
  }
  return found;
}

VCardBookImportResult updateVCardFilesInAddressBook(ABAddressBook& book, VCardFilesRead read) {
  if (!read.ok()) return addVCardFilesToAddressBook(book, std::move(read));
  // The cards of persons already in the book replace their values; the others are added as usual.
  std::unordered_set<std::string> met;
  std::vector<std::pair<ABPersonRef, ABPersonData*>> replacements;
  VCardFilesRead added;
  added.files = read.files;
  for (auto& persons : read.persons) {
    added.persons.emplace_back();
    for (auto& data : persons) {
      const std::string* uid = data.string(kABUIDProperty);
      ABPersonRef existing = uid && !uid->empty() && !met.count(*uid) ? book.recordForUniqueId(*uid) : nullptr;
      if (uid && !uid->empty()) met.insert(*uid);
      if (existing)
        replacements.emplace_back(existing, &data);
      else
        added.persons.back().push_back(std::move(data));
    }
  }
  std::vector<std::pair<ABPersonRef, ABPersonData>> values;
  values.reserve(replacements.size());
  for (auto& [person, data] : replacements) values.emplace_back(person, std::move(*data));
  read.persons.clear();
  VCardBookImportResult result = addVCardFilesToAddressBook(book, std::move(added));
  if (!result.ok()) return result;
  for (auto& [person, data] : values) {
    person->replaceData(std::move(data));
    result.updated.push_back(person);
  }
  if (!values.empty())
    book.setNextChangeDescription(describeVCardImport(result.files) + " (" + std::to_string(values.size()) +
                                  (values.size() == 1 ? " contact" : " contacts") + " updated)");
  return result;
}

namespace {

// 2500 -> "2,500"
std::string withThousands(std::size_t count) {
  std::string digits = std::to_string(count), text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

}  // namespace

std::string describeVCardImport(const std::vector<VCardFileImport>& files) {
  std::size_t contacts = 0;
  for (const auto& file : files) contacts += file.contacts;
  std::string text = "Imported " + withThousands(contacts) + (contacts == 1 ? " contact" : " contacts") + " from ";
  if (files.size() == 1) return text + files.front().path.filename().string();
  return text + std::to_string(files.size()) + " files";
}
