// An independent check of "Damaged text": damage of every kind is planted into a generated book,
// written by encoders of this test's own (the way the damage comes about, not the way the scanner
// undoes it), beside clean look-alikes; every planted value must be listed and repaired exactly to
// what it was, and no clean value listed or changed.
#include <map>

#include "ReviewFixture.h"
#include "app/review/FixAll.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "tests/support/MessyContacts.h"

using PlantedDamageTest = ReviewFixture;

namespace {

// Windows-1252 for the bytes 0x80 to 0x9F (0: undefined, read as the C1 control of that number).
const char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::vector<char32_t> codePoints(const std::string& text) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? byte : byte & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    points.push_back(c);
    i += length;
  }
  return points;
}

// UTF-8 bytes shown as Windows-1252 and saved again as UTF-8.
std::string readAsWindows1252(const std::string& text) {
  std::string out;
  for (unsigned char byte : text) {
    const char32_t c = byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] ? kHigh[byte - 0x80] : byte;
    appendUtf8(out, c);
  }
  return out;
}

std::string hex(unsigned char byte) {
  const char* digits = "0123456789ABCDEF";
  return {'=', digits[byte >> 4], digits[byte & 15]};
}

// Quoted-printable of the UTF-8 bytes, or of one byte per character (Latin-1).
std::string quotedPrintable(const std::string& text, bool latin1) {
  std::string out;
  if (latin1) {
    for (char32_t c : codePoints(text))
      out += c >= 0x80 || c == '=' ? hex(static_cast<unsigned char>(c)) : std::string(1, static_cast<char>(c));
    return out;
  }
  for (unsigned char byte : text)
    out += byte >= 0x80 || byte == '=' ? hex(byte) : std::string(1, static_cast<char>(byte));
  return out;
}

std::string htmlEntities(const std::string& text) {
  std::string out;
  for (char32_t c : codePoints(text)) {
    if (c == '&')
      out += "&amp;";
    else if (c >= 0x80)
      out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
    else
      out += static_cast<char>(c);
  }
  return out;
}

// What a person's texts are, property by property (lists by their entries' values and labels).
std::map<std::string, std::string> textsOf(const ABPerson& person) {
  std::map<std::string, std::string> texts;
  for (const std::string* property : {&kABFirstNameProperty, &kABLastNameProperty, &kABOrganizationProperty,
                                      &kABNoteProperty, &kABNicknameProperty, &kABJobTitleProperty})
    if (auto text = person.stringForProperty(*property)) texts[*property] = *text;
  for (const std::string* property : {&kABEmailProperty, &kABAddressProperty}) {
    auto list = person.multiValueForProperty(*property);
    if (!list) continue;
    for (size_t i = 0; i < list->count(); ++i) {
      const std::string at = *property + "#" + std::to_string(i);
      texts[at + ":label"] = list->labelAtIndex(i);
      if (const auto* value = std::get_if<std::string>(&list->valueAtIndex(i))) texts[at] = *value;
      const ABDictionary dictionary = list->dictionaryAtIndex(i);
      for (const auto& [key, value] : dictionary.entries()) texts[at + ":" + key] = value;
    }
  }
  return texts;
}

}  // namespace

TEST_F(PlantedDamageTest, EveryPlantedValueIsListedAndRepairedExactlyAndNoCleanValueIsTouched) {
  // Values as they were meant, of one script each, with letters beyond ASCII.
  const std::vector<std::string> meant = {"Mäx Müller", "Øystein",  "Сергей",     "Ελένη",       "Łódź",
                                          "Ñandú",      "François", "Ærøskøbing", "Smith & Søn", "Ğül"};
  const std::vector<std::string> lookAlikes = {"x=3", "Q&A", "AT&T", "São Paulo", "E=mc²", "Øystein", "=Summit="};
  const std::vector<std::string> properties = {kABFirstNameProperty, kABOrganizationProperty, kABNoteProperty,
                                               kABNicknameProperty, kABJobTitleProperty};
  struct Planted {
    std::string property;
    std::string meant;
  };
  std::map<std::string, Planted> planted;  // unique id -> what was damaged
  constexpr size_t kPersons = 1500;
  for (size_t row = 1; row <= kPersons; ++row) {
    auto person = ABPerson::create();
    // The generated book's texts: names in every script, emoji, line feeds, XML specials.
    person->setValueForProperty(messy::content(row, 0), kABFirstNameProperty);
    person->setValueForProperty(messy::content(row, 1), kABLastNameProperty);
    person->setValueForProperty(messy::content(row, 2), kABOrganizationProperty);
    person->setValueForProperty(row % 3 ? messy::content(row, 4) : lookAlikes[row % lookAlikes.size()],
                                kABNoteProperty);
    person->setValueForProperty(messy::content(row, 9), kABNicknameProperty);
    person->setValueForProperty(messy::content(row, 7), kABJobTitleProperty);
    ABMultiValue emails;
    emails.addValueWithLabel("user=tag" + std::to_string(row) + "@example.org", kABHomeLabel);
    person->setValueForProperty(emails, kABEmailProperty);
    ABMultiValue addresses;
    addresses.addValueWithLabel(
        ABDictionary{{kABAddressStreetKey, messy::content(row, 19)}, {kABAddressCityKey, messy::content(row, 20)}},
        kABHomeLabel);
    if (row % 5 == 0) {
      // One damaged value, of a kind and a field by the row.
      const std::string& original = meant[(row / 5) % meant.size()];
      std::string damaged;
      switch ((row / 5) % 5) {
        case 0:
          damaged = readAsWindows1252(original);
          break;
        case 1:
          damaged = readAsWindows1252(readAsWindows1252(original));
          break;
        case 2:
          damaged = quotedPrintable(original, false);
          break;
        case 3:
          damaged = htmlEntities(original);
          break;
        default: {
          const auto points = codePoints(original);
          const bool latin1 = std::all_of(points.begin(), points.end(), [](char32_t c) { return c < 0x100; });
          damaged = latin1 && original.find('&') == std::string::npos ? quotedPrintable(original, true)
                                                                      : readAsWindows1252(original);
        }
      }
      const std::string& property = properties[(row / 25) % properties.size()];
      person->setValueForProperty(damaged, property);
      planted[person->uniqueId()] = {property, original};
    }
    person->setValueForProperty(addresses, kABAddressProperty);
    book_->addRecord(person);
  }
  ASSERT_TRUE(book_->save());
  std::map<std::string, std::map<std::string, std::string>> before;
  for (const auto& person : book_->people()) before[person->uniqueId()] = textsOf(*person);

  const ScanResult scan = ScanAddressBook(*book_).scan({"Damaged text"});
  size_t listed = 0, wrong = 0;
  for (const auto& person : scan.personsFor("DamagedText")) {
    ++listed;
    if (!planted.count(person->uniqueId())) {
      ++wrong;
      ADD_FAILURE() << "a clean contact listed: " << person->stringForProperty(kABFirstNameProperty).value_or("");
    }
  }
  EXPECT_EQ(listed - wrong, planted.size()) << "every planted value listed";

  ReviewOutline outline;
  outline.setOutlineViewDataSouce(scan);
  const auto* category = ReviewCategories::byConditionKey("DamagedText");
  ASSERT_TRUE(category);
  FixAllOutcome outcome = fixAllInCategory(outline, *book_, *category, "Repair the text", questions_);
  EXPECT_TRUE(outcome.errors.empty());
  EXPECT_EQ(static_cast<size_t>(outcome.fixed), planted.size());
  auto after = reopened();
  size_t repaired = 0;
  for (const auto& person : after->people()) {
    auto texts = textsOf(*person);
    auto expected = before[person->uniqueId()];
    if (auto it = planted.find(person->uniqueId()); it != planted.end()) {
      expected[it->second.property] = it->second.meant;
      repaired += texts[it->second.property] == it->second.meant;
    }
    EXPECT_EQ(texts, expected) << person->uniqueId();
  }
  EXPECT_EQ(repaired, planted.size());
  std::printf("  planted %zu damaged values; listed %zu, wrongly listed %zu, repaired exactly %zu\n", planted.size(),
              listed, wrong, repaired);
}
