#include <unistd.h>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>

#include "app/scanner/ScanAddressBook.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

const char* const kFirsts[] = {"Ann",   "José",  "Zoë", "Ångström", "Li",       "Søren",  "Émilie", "Hans",   "Priya",
                               "Ahmed", "Chloé", "Wei", "Mary Ann", "Jean-Luc", "Ólafur", "Anna",   "Tomasz", "Björk"};
const char* const kLasts[] = {"Lee",   "García", "Müller", "O'Brien",      "Nguyễn", "Dupont", "Kowalski",
                              "Rossi", "Brown",  "Jensen", "Van der Berg", "Öztürk", "Smith",  "Łukasz"};
const char* const kDomains[] = {"example.com", "example.org", "gmail.com", "mail.example.net", "googlemail.com"};

// A phone number of the person written one of the ways people write them: nationally for the
// region (DE), with the country code, or a number of another country.
std::string phone(std::mt19937& random, std::size_t i, unsigned slot) {
  const unsigned line = static_cast<unsigned>(1000000 + (i * 7 + slot * 977) % 9000000);
  switch (random() % 10) {
    case 0:
    case 1:
    case 2:
      return "030 " + std::to_string(line);
    case 3:
      return "(030) " + std::to_string(line / 1000) + "-" + std::to_string(line % 1000 + 100);
    case 4:
    case 5:
      return "+49 30 " + std::to_string(line);
    case 6:
      return "0171 " + std::to_string(line);
    case 7:
      return "+44 20 7946 " + std::to_string(1000 + line % 9000);
    case 8:
      return "+33 1 " + std::to_string(20 + line % 70) + " " + std::to_string(10 + line % 89) + " " +
             std::to_string(10 + (line / 100) % 89) + " " + std::to_string(10 + (line / 7) % 89);
    default:
      return "+1 212 555 " + std::to_string(1000 + line % 9000);
  }
}

// Messy persons, every twentieth a near-duplicate of an earlier one (its name without accents or
// in another order, one of its numbers written another way, its gmail address with dots).
void writeStore(const std::filesystem::path& path, std::size_t contacts) {
  auto book = ABAddressBook::open(path);
  std::mt19937 random(11);
  std::vector<ABPersonRef> made;
  made.reserve(contacts);
  for (std::size_t i = 0; i < contacts; ++i) {
    auto person = ABPerson::create();
    ABMultiValue phones, emails;
    if (i % 20 == 19 && !made.empty()) {
      const ABPerson& original = *made[random() % made.size()];
      auto first = original.stringForProperty(kABFirstNameProperty).value_or("Ann");
      auto last = original.stringForProperty(kABLastNameProperty).value_or("Lee");
      if (random() % 2)
        std::swap(first, last);
      else
        for (auto& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      person->setValueForProperty(first, kABFirstNameProperty);
      person->setValueForProperty(last, kABLastNameProperty);
      if (auto numbers = original.multiValueForProperty(kABPhoneProperty); numbers && numbers->count() > 0) {
        std::string number = numbers->stringAtIndex(0);
        if (number.rfind("030 ", 0) == 0) number = "+49 30 " + number.substr(4);
        phones.addValueWithLabel(number, kABPhoneMobileLabel);
      }
    } else {
      person->setValueForProperty(std::string(kFirsts[random() % std::size(kFirsts)]), kABFirstNameProperty);
      person->setValueForProperty(std::string(kLasts[random() % std::size(kLasts)]) + std::to_string(i % 9000),
                                  kABLastNameProperty);
      unsigned count = random() % 3;
      for (unsigned p = 0; p < count; ++p)
        phones.addValueWithLabel(phone(random, i, p), p ? kABPhoneMobileLabel : kABHomeLabel);
      // Now and then the same number twice, written another way.
      if (count > 0 && phones.stringAtIndex(0).rfind("030 ", 0) == 0 && random() % 10 == 0)
        phones.addValueWithLabel("+49 30 " + phones.stringAtIndex(0).substr(4), kABWorkLabel);
      emails.addValueWithLabel("user." + std::to_string(i) + "@" + kDomains[random() % std::size(kDomains)],
                               kABHomeLabel);
      if (random() % 8 == 0)
        person->setValueForProperty(ABDate{1950 + static_cast<int>(random() % 50), 1 + static_cast<int>(random() % 12),
                                           1 + static_cast<int>(random() % 28)},
                                    kABBirthdayProperty);
      if (random() % 4 == 0)
        person->setValueForProperty("Company " + std::to_string(random() % 400), kABOrganizationProperty);
    }
    if (!phones.empty()) person->setValueForProperty(phones, kABPhoneProperty);
    if (!emails.empty()) person->setValueForProperty(emails, kABEmailProperty);
    book->addRecord(person);
    made.push_back(person);
  }
  book->save();
}

void run(std::size_t contacts, BenchReporter& reporter) {
  auto folder = std::filesystem::temp_directory_path() / ("rolvane-bench-similar-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  auto path = folder / "book.sqlite";
  writeStore(path, contacts);
  auto book = ABAddressBook::open(path);
  std::size_t numbers = 0;
  for (const auto& person : book->people())
    if (auto phones = person->multiValueForProperty(kABPhoneProperty)) numbers += phones->count();
  std::printf("  (%zu contacts holding %zu phone numbers)\n", book->count(), numbers);

  ScanAddressBook scanner(*book);
  scanner.setRegion("DE");
  ScanResult result;
  // Each condition alone first (each reads the numbers it needs), then the three together as a
  // scan runs them: every number read once for all three.
  for (const char* name :
       {"Similar contacts", "Same phone number written differently", "Phone number not in international format"}) {
    std::clock_t cpu = std::clock();
    double alone = secondsOf([&] { result = scanner.scan({name}); });
    reporter.step(std::string("  alone: ") + name, alone, contacts);
    std::printf("    (%.3f s of processor time)\n", double(std::clock() - cpu) / CLOCKS_PER_SEC);
  }
  std::clock_t cpu = std::clock();
  double seconds = secondsOf([&] {
    result = scanner.scan(
        {"Similar contacts", "Same phone number written differently", "Phone number not in international format"});
  });
  reporter.step("similar contacts and both phone conditions", seconds, contacts, 1.0 * contacts / 100000);
  std::printf("    (%.3f s of processor time on all threads; the machine's load decides the rest)\n",
              double(std::clock() - cpu) / CLOCKS_PER_SEC);
  std::printf("  (%zu groups of similar contacts, %zu with a number written twice, %zu not international)\n",
              result.similarContacts.size(), result.personsFor("DupPhoneFormat").size(),
              result.personsFor("PhoneFormat").size());
  std::filesystem::remove_all(folder);

  // One contact of very many addresses: the time grows with their number, not with its square.
  for (std::size_t addresses : {std::size_t{50000}, std::size_t{100000}}) {
    auto one = ABAddressBook::inMemory();
    auto person = ABPerson::create();
    ABMultiValue emails;
    for (std::size_t k = 0; k < addresses; ++k)
      emails.addValueWithLabel("person." + std::to_string(k) + "@example.com", kABHomeLabel);
    person->setValueForProperty(emails, kABEmailProperty);
    one->addRecord(person);
    ScanAddressBook many(*one);
    double alone = secondsOf([&] { many.scan({"Similar contacts"}); });
    reporter.step("  similar contacts of one contact of " + std::to_string(addresses) + " e-mail addresses", alone,
                  addresses);
  }
}

const BenchRegistration registration("similar contacts and phone formats", 25, run);

}  // namespace
