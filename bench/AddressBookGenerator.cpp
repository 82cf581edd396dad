#include "bench/AddressBookGenerator.h"

#include <cstdint>
#include <random>
#include <vector>

namespace {

const char* const kFirst[] = {"John",   "Mary", "José",     "Zoë",      "Ångström", "Li",
                              "Анна",   "太郎", "Mary Ann", "Jean Luc", "Ólafur",   "Søren",
                              "Émilie", "Hans", "Priya",    "Ahmed",    "Chloé",    "Wei"};
const char* const kLast[] = {"Smith",    "Müller", "García", "O'Brien", "Nguyễn",       "Иванов", "山田",  "Dupont",
                             "Kowalski", "Rossi",  "Brown",  "Jensen",  "Van der Berg", "Smith",  "Öztürk"};
const char* const kTitles[] = {"Mr.", "Mrs.", "Dr.", "Prof.", "General", "Rev.", "Sir", "Captain", "Herr", "Dame"};
const char* const kSuffixes[] = {"Jr.", "Sr.", "III", "PhD", "Esq.", "MD", "the Great"};
const char* const kDomains[] = {"example.com", "example.org", "mail.example.net", "example.co.uk"};
const char* const kCustomLabels[] = {"Boat", "Summer house", "Privé", "_$!<AssistantPhone>!$_", "Old"};
const char* const kEmailTypes[] = {"INTERNET;TYPE=HOME", "INTERNET;TYPE=WORK", "INTERNET"};
const char* const kPhoneTypes[] = {"CELL", "HOME", "WORK", "IPHONE", "MAIN", "HOME,FAX", "WORK,FAX", "PAGER", "VOICE"};
const char* const kRelated[] = {"_$!<Spouse>!$_", "_$!<Mother>!$_", "_$!<Friend>!$_", "Godfather"};

template <typename T, std::size_t N>
const char* pick(std::mt19937& random, const T (&items)[N]) {
  return items[random() % N];
}

// How a contact is named; in a book of planted duplicates, a copy takes its original's.
struct Identity {
  std::string first, last, organization;
};

std::string generate(std::size_t contacts, unsigned seed, std::size_t duplicateGroups) {
  std::mt19937 random(seed);
  std::vector<Identity> identities;
  // Group g's copy is the last contact of the g-th of duplicateGroups equal stretches of the book,
  // of the contact seven before it; every eighth group has the contact just before the copy too.
  const std::size_t stretch = duplicateGroups > 0 ? contacts / duplicateGroups : 0;
  // npos: the contact is no copy.
  constexpr std::size_t npos = static_cast<std::size_t>(-1);
  auto copyOf = [&](std::size_t i) -> std::size_t {
    if (stretch < 10) return npos;
    const std::size_t group = i / stretch, at = i % stretch;
    if (group >= duplicateGroups) return npos;
    if (at == stretch - 1 || (at == stretch - 2 && group % 8 == 7)) return i - (at - (stretch - 9));
    return npos;
  };
  auto isOriginal = [&](std::size_t i) {
    return stretch >= 10 && i / stretch < duplicateGroups && i % stretch == stretch - 9;
  };
  std::string out;
  out.reserve(contacts * 360);
  std::vector<std::string> shared;
  auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  for (std::size_t i = 0; i < contacts; ++i) {
    std::string first = chance(4) ? "" : pick(random, kFirst);
    std::string last = chance(8) ? "" : pick(random, kLast);
    if (chance(2)) first = last = "";
    // In a book of planted duplicates each name is its own (the contact's number goes into the
    // part it has), and a copy takes its original's name and organisation.
    const std::size_t original = duplicateGroups > 0 ? copyOf(i) : npos;
    if (duplicateGroups > 0) {
      const std::string own = " " + std::to_string(i);
      if (!last.empty())
        last += own;
      else if (!first.empty())
        first += own;
      // An original without a name would be in no group with its copy: it gets one.
      if (first.empty() && last.empty() && isOriginal(i)) last = "Planted" + own;
      identities.push_back({first, last, {}});
      if (original != npos) {
        identities[i] = identities[original];
        first = identities[i].first;
        last = identities[i].last;
      }
    }
    std::string title = chance(10) ? pick(random, kTitles) : "";
    std::string suffix = chance(5) ? pick(random, kSuffixes) : "";
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    out += "N:" + last + ";" + first + ";;" + title + ";" + suffix + "\r\n";
    out += "FN:" + first + (first.empty() || last.empty() ? "" : " ") + last + "\r\n";
    if (chance(5)) out += "NICKNAME:" + std::string(chance(50) ? "   " : "Bud") + "\r\n";
    if (chance(30)) {
      std::string organization =
          "Company " + std::to_string(random() % 500) + ";Dept\\; " + std::to_string(random() % 9);
      // The company is what a contact without a name is grouped by: its own too.
      if (duplicateGroups > 0) organization.insert(organization.find(';'), " #" + std::to_string(i));
      if (original == npos) out += "ORG:" + organization + "\r\n";
      if (duplicateGroups > 0) identities[i].organization = organization;
    }
    if (original != npos) {
      identities[i].organization = identities[original].organization;
      if (!identities[i].organization.empty()) out += "ORG:" + identities[i].organization + "\r\n";
    }
    if (chance(20)) out += "TITLE:Engineer\r\n";
    int group = 0;
    unsigned emails = random() % 4;
    for (unsigned e = 0; e < emails; ++e) {
      std::string address;
      if (!shared.empty() && chance(3))
        address = shared[random() % shared.size()];
      else if (chance(3))
        address = "not an email";
      else if (e > 0 && chance(5))
        address = "dup" + std::to_string(i) + "@" + kDomains[0];
      else
        address = "user" + std::to_string(i) + "." + std::to_string(e) + "@" + pick(random, kDomains);
      if (shared.size() < 1000 && chance(2)) shared.push_back(address);
      if (chance(10)) {
        std::string item = "item" + std::to_string(++group);
        out += item + ".EMAIL;TYPE=INTERNET:" + address + "\r\n" + item + ".X-ABLabel:" + pick(random, kCustomLabels) +
               "\r\n";
      } else {
        out += std::string("EMAIL;TYPE=") + pick(random, kEmailTypes) + ":" + address + "\r\n";
      }
    }
    unsigned phones = random() % 4;
    for (unsigned p = 0; p < phones; ++p) {
      std::string number = "+1 555 " + std::to_string(1000000 + random() % 9000000);
      if (chance(3)) number += "ext";
      if (chance(10)) {
        std::string item = "item" + std::to_string(++group);
        out += item + ".TEL:" + number + "\r\n" + item + ".X-ABLabel:" + pick(random, kCustomLabels) + "\r\n";
      } else {
        out += std::string("TEL;TYPE=") + pick(random, kPhoneTypes) + ":" + number + "\r\n";
      }
      if (chance(3)) out += "TEL;TYPE=CELL:" + number + "\r\n";
    }
    if (chance(30)) {
      std::string item = "item" + std::to_string(++group);
      out += item + ".ADR;TYPE=HOME:;;" + std::to_string(random() % 200) + " Main Street\\nFlat 3;Springfield;IL;" +
             std::to_string(10000 + random() % 89999) + ";USA\r\n" + item + ".X-ABADR:us\r\n";
    }
    if (chance(15)) {
      char date[16];
      std::snprintf(date, sizeof date, "%04u-%02u-%02u", static_cast<unsigned>(1940 + random() % 70),
                    static_cast<unsigned>(1 + random() % 12), static_cast<unsigned>(1 + random() % 28));
      out += std::string("BDAY;VALUE=date:") + date + "\r\n";
    }
    if (chance(8)) out += "IMPP;X-SERVICE-TYPE=AIM;TYPE=HOME:aim:user" + std::to_string(i) + "\r\n";
    if (chance(10)) out += "URL:http://www.example.com/~user" + std::to_string(i) + "\r\n";
    if (chance(8)) {
      std::string item = "item" + std::to_string(++group);
      out += item + ".X-ABRELATEDNAMES:" + pick(random, kFirst) + "\r\n" + item +
             ".X-ABLabel:" + pick(random, kRelated) + "\r\n";
    }
    if (chance(10)) out += "NOTE:" + std::string(chance(30) ? "  " : "Met at the conference\\, call back") + "\r\n";
    if (chance(2)) out += "X-ABShowAs:COMPANY\r\n";
    if (chance(1))
      out +=
          "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRof\r\n "
          "HiEfHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/2Q==\r\n";
    out += "END:VCARD\r\n";
  }
  return out;
}

}  // namespace

std::string generateAddressBookVCard(std::size_t contacts, unsigned seed) {
  return generate(contacts, seed, 0);
}

std::string generateAddressBookWithDuplicates(std::size_t contacts, std::size_t duplicateGroups, unsigned seed) {
  return generate(contacts, seed, duplicateGroups);
}
