#include <chrono>
#include <ctime>
#include <unordered_map>

#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/ScannerConditions.h"

namespace ScannerConditions {

namespace {

// The year in which the store keeps a birthday without a year.
constexpr int kNoYear = 1604;

// Whether two birthdays say different days: another day of the year, or both with a year and
// another year.
bool differ(const ABDate& a, const ABDate& b) {
  if (a.month != b.month || a.day != b.day) return true;
  return a.year != kNoYear && b.year != kNoYear && a.year != b.year;
}

}  // namespace

ABDate today() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::optional<std::string> unlikelyBirthday(const ABDate& birthday, const ABDate& today) {
  if (birthday.year == kNoYear) return std::nullopt;
  auto key = [](const ABDate& date) { return date.year * 10000 + date.month * 100 + date.day; };
  if (key(birthday) > key(today)) return "it is in the future";
  if (birthday.year < 1900) return "it is before 1900";
  if (birthday.month == 1 && birthday.day == 1 && (birthday.year == 1900 || birthday.year == 1970))
    return "it is " + birthday.toIsoString() + ", which programs write for a birthday they do not know";
  return std::nullopt;
}

std::vector<size_t> unlikelyDates(const ScanSnapshot& snapshot) {
  const ABDate now = today();
  std::vector<bool> listed(snapshot.size(), false);
  // Persons with a birthday by their duplicate group: a group whose members say different days.
  std::unordered_map<std::string, std::vector<size_t>> groups;
  for (size_t i = 0; i < snapshot.size(); ++i) {
    const auto& birthday = snapshot.values[i].birthday;
    if (!birthday) continue;
    if (unlikelyBirthday(*birthday, now)) listed[i] = true;
    // Only a full name says one person: "Ann" alone, or an organisation, is held by many.
    const PersonValues& values = snapshot.values[i];
    if (values.firstName && !values.firstName->empty() && values.lastName && !values.lastName->empty())
      if (auto key = ScanAddressBook::duplicateGroupKey(values)) groups[*key].push_back(i);
  }
  for (const auto& [key, members] : groups) {
    if (members.size() < 2) continue;
    if (!snapshot.notSamePerson.empty()) {
      std::vector<std::string> uids;
      for (size_t m : members) uids.emplace_back(*snapshot.values[m].uid);
      if (snapshot.notSamePerson.covers(uids)) continue;
    }
    for (size_t a : members)
      for (size_t b : members)
        if (differ(*snapshot.values[a].birthday, *snapshot.values[b].birthday)) listed[a] = true;
  }
  std::vector<size_t> found;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (listed[i] &&
        !(snapshot.values[i].uid && !snapshot.keptAsItIs.empty() &&
          snapshot.keptAsItIs.keeps(std::string(*snapshot.values[i].uid),
                                    keptList("UnlikelyDate", {snapshot.values[i].birthday->toIsoString()}))))
      found.push_back(i);
  return found;
}

ScanCondition unlikelyDate() {
  return {"Birthday that cannot be right", "UnlikelyDate", &ScanAddressBook::findUnlikelyDates, nullptr,
          ScanCondition::Task::kUnlikelyDates};
}

}  // namespace ScannerConditions
