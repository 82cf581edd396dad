#include "app/review/PhoneFixes.h"

#include <algorithm>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/SimilarContacts.h"
#include "platform/addressbook/ABConstants.h"

namespace PhoneFixes {

PhoneRewrite withoutNumbersWrittenTwice(const ABPerson& person, const std::string& region) {
  PhoneRewrite rewrite;
  auto snapshot = person.snapshot();
  const ABMultiValue* phones = snapshot->multiValue(kABPhoneProperty);
  if (!phones) return rewrite;
  PhoneNumbers numbers(region);
  auto readings = SimilarContacts::readPhonesOf(*snapshot, numbers);
  std::vector<std::string> keptKeys;
  for (size_t i = 0; i < phones->count(); ++i) {
    const auto& entry = phones->entries()[i];
    const std::string key = i < readings.size() && readings[i].read ? readings[i].e164 : std::string();
    auto same = key.empty() ? keptKeys.end() : std::find(keptKeys.begin(), keptKeys.end(), key);
    if (same != keptKeys.end()) {
      rewrite.changes.emplace_back(phones->stringAtIndex(i),
                                   rewrite.phones.stringAtIndex(static_cast<size_t>(same - keptKeys.begin())));
      continue;
    }
    rewrite.phones.addValueWithLabel(entry.value, entry.label);
    keptKeys.push_back(key);
  }
  return rewrite;
}

std::vector<std::string> numbersNotInternational(const ABPerson& person, const std::string& region) {
  auto snapshot = person.snapshot();
  const PhoneNumbers numbers(region);
  return ScanAddressBook::phoneTexts(
      *snapshot, SimilarContacts::nationalNumbers(*snapshot, SimilarContacts::readPhonesOf(*snapshot, numbers)));
}

PhoneRewrite inInternationalForm(const ABPerson& person, const std::string& region, bool e164,
                                 const std::vector<std::string>& kept) {
  PhoneRewrite rewrite;
  auto snapshot = person.snapshot();
  const ABMultiValue* phones = snapshot->multiValue(kABPhoneProperty);
  if (!phones) return rewrite;
  rewrite.phones = *phones;
  PhoneNumbers numbers(region);
  for (size_t index : SimilarContacts::nationalNumbers(*snapshot, SimilarContacts::readPhonesOf(*snapshot, numbers))) {
    const std::string before = phones->stringAtIndex(index);
    if (std::find(kept.begin(), kept.end(), before) != kept.end()) continue;
    const std::string after = e164 ? numbers.e164(before) : numbers.international(before);
    if (after.empty() || after == before) continue;
    rewrite.phones.replaceValueAtIndex(index, after);
    rewrite.changes.emplace_back(before, after);
  }
  return rewrite;
}

}  // namespace PhoneFixes
