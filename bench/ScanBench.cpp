#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <random>

#include "app/model/PersonRecord.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

// A store of messy persons written straight through the store's interface.
void writeStore(const std::filesystem::path& path, std::size_t contacts) {
  auto book = ABAddressBook::open(path);
  std::mt19937 random(7);
  const char* firsts[] = {"Ann", "Bo", "Carl", "Dana", "Eve", "Finn", "Gus", "Hana", "Ivo", "Jo Ann", " Kim", "Lea"};
  const char* lasts[] = {"Lee", "Smith", "Garcia", "Müller", "Nakamura", "Olsen", "Petrov", "Quinn", "Rossi"};
  const char* titles[] = {"Dr", "Mr", "Ms", "DR", "Prof.", "General"};
  for (std::size_t i = 0; i < contacts; ++i) {
    auto person = ABPerson::create();
    unsigned r = random();
    if (r % 17 != 0) person->setValueForProperty(std::string(firsts[r % 12]), kABFirstNameProperty);
    if (r % 13 != 0)
      person->setValueForProperty(std::string(lasts[(r >> 4) % 9]) + std::to_string(i % 5000), kABLastNameProperty);
    if (r % 7 == 0) person->setValueForProperty(std::string(titles[(r >> 8) % 6]), kABTitleProperty);
    if (r % 29 == 0) person->setValueForProperty(std::string("  "), kABNoteProperty);
    if (r % 31 == 0)
      person->setValueForProperty(std::string("Caf\xC3\x83\xC2\xA9 &amp; M=C3=BCller"), kABNicknameProperty);
    if (r % 37 == 0) person->setValueForProperty(std::string("ACME TRADING"), kABOrganizationProperty);
    if (r % 5 == 0) person->setValueForProperty(ABDate{1950 + static_cast<int>(r % 80), 5, 3}, kABBirthdayProperty);
    ABMultiValue emails, phones;
    emails.addValueWithLabel("user" + std::to_string(i) + "@example.org", kABHomeLabel);
    if (r % 11 == 0) emails.addValueWithLabel("shared" + std::to_string(i % 300) + "@example.com", kABWorkLabel);
    if (r % 19 == 0) emails.addValueWithLabel("user" + std::to_string(i) + "@example.org", kABOtherLabel);
    phones.addValueWithLabel("+1 555 " + std::to_string(1000000 + i), kABPhoneMobileLabel);
    if (r % 23 == 0) phones.addValueWithLabel("555-CALL", kABPhoneWorkLabel);
    person->setValueForProperty(emails, kABEmailProperty);
    person->setValueForProperty(phones, kABPhoneProperty);
    ABMultiValue addresses;
    addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, std::to_string(i % 900) + " Main Street"},
                                             {kABAddressCityKey, "Springfield"},
                                             {kABAddressZIPKey, std::to_string(10000 + i % 80000)}},
                                kABHomeLabel);
    person->setValueForProperty(addresses, kABAddressProperty);
    book->addRecord(person);
  }
  book->save();
}

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-bench-scan-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  auto path = folder / "book.sqlite";
  writeStore(path, contacts);
  resetPeakResident();

  std::unique_ptr<ABAddressBook> book;
  ContactRecords records;
  double open = secondsOf([&] {
    book = ABAddressBook::open(path);
    records = recordsOfAddressBook(*book);
  });
  reporter.step("open the store and build every record", open, contacts, 0.5);

  ScanResult result;
  // The thirteen conditions of the first list; similar contacts and phone numbers have a section of
  // their own.
  auto names = allConditionNames();
  names.resize(13);
  double scan = secondsOf([&] { result = ScanAddressBook(*book).scan(names); });
  reporter.step("full scan, the thirteen first conditions", scan, contacts, 0.3);
  std::printf("  (%zu conditions found something)\n", result.keys.size());

  // The four conditions that came after the sixteen (damaged text, names in one case, birthdays,
  // contacts that cannot be reached), together; and the whole default scan, which they may make
  // at most 1.3 times as long as the sixteen.
  std::vector<std::string> all = allConditionNames();
  // (The photo conditions, last, have a section of their own.)
  const std::vector<std::string> sixteen(all.begin(), all.begin() + 16), four(all.begin() + 16, all.end() - 2);
  // The four on a snapshot taken beforehand, as a scan of every condition runs them.
  const ScanSnapshot snapshot = ScanSnapshot::of(*book);
  ScanFindings found;
  double fourSeconds = secondsOf([&] { found = ScanAddressBook::scan(snapshot, four, ""); });
  reporter.step("the four conditions after the sixteen", fourSeconds, contacts, 0.2 * targetScale(contacts));
  std::printf("  (%zu of them found something)\n", found.lists.size());
  double sixteenSeconds = secondsOf([&] { result = ScanAddressBook(*book).scan(sixteen); });
  reporter.step("full scan, the sixteen conditions", sixteenSeconds, contacts);
  double allSeconds = secondsOf([&] { result = ScanAddressBook(*book).scan(all); });
  reporter.step("full scan, every condition (the default)", allSeconds, contacts, 1.3 * sixteenSeconds);
  std::filesystem::remove_all(folder);
}

const BenchRegistration registration("records and scan", 20, run);

}  // namespace
