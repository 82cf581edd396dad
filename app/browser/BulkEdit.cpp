#include "app/browser/BulkEdit.h"

#include <regex>

#include "app/browser/ContactCommit.h"
#include "platform/addressbook/ABAddressBook.h"

namespace BulkEdit {

namespace {

std::string contacts(size_t count) {
  return std::to_string(count) + (count == 1 ? " contact" : " contacts");
}

std::string replaceAll(const std::string& text, const std::string& find, const std::string& with) {
  std::string out;
  size_t at = 0;
  for (size_t found; (found = text.find(find, at)) != std::string::npos; at = found + find.size())
    out.append(text, at, found - at).append(with);
  return out.append(text, at, std::string::npos);
}

}  // namespace

std::optional<std::optional<std::string>> commonValue(const std::vector<ABPersonRef>& persons, const std::string& key) {
  std::optional<std::optional<std::string>> common;
  for (const auto& person : persons) {
    auto shown = ContactCommit::shownText(*person, key);
    if (!common)
      common = shown;
    else if (*common != shown)
      return std::nullopt;
  }
  return common ? common : std::optional<std::optional<std::string>>(std::optional<std::string>());
}

std::vector<Change> planValue(const std::vector<ABPersonRef>& persons, const std::string& key,
                              const std::string& value) {
  std::vector<Change> changes;
  for (const auto& person : persons) {
    auto shown = ContactCommit::shownText(*person, key);
    if (shown.value_or("") == value) continue;
    changes.push_back({person, shown, value});
  }
  return changes;
}

std::vector<Change> planReplace(const std::vector<ABPersonRef>& persons, const std::string& key,
                                const std::string& find, const std::string& with, bool regex, std::string* error) {
  std::vector<Change> changes;
  if (find.empty()) {
    if (error) *error = "there is nothing to find";
    return changes;
  }
  std::optional<std::regex> expression;
  if (regex) {
    try {
      expression.emplace(find, std::regex::ECMAScript);
    } catch (const std::regex_error& e) {
      if (error) *error = "\"" + find + "\" is not a valid regular expression: " + e.what();
      return changes;
    }
  }
  for (const auto& person : persons) {
    auto shown = ContactCommit::shownText(*person, key);
    if (!shown) continue;
    std::string after = expression ? std::regex_replace(*shown, *expression, with) : replaceAll(*shown, find, with);
    if (after == *shown) continue;
    changes.push_back({person, shown, std::move(after)});
  }
  return changes;
}

Outcome apply(ABAddressBook& book, const std::string& key, const std::vector<Change>& changes,
              const std::string& description) {
  Outcome outcome;
  if (!ContactCommit::isCommittableKey(key)) {
    outcome.error = "\"" + key + "\" cannot be edited";
    return outcome;
  }
  for (const auto& change : changes) {
    const std::string who = ABAddressBook::nameForHistory(*change.person) + " <" + change.person->uniqueId() + ">";
    if (!book.contains(change.person)) {
      outcome.stale.push_back(who + ": not changed, it is no longer in the address book");
      continue;
    }
    if (ContactCommit::shownText(*change.person, key) != change.before) {
      outcome.stale.push_back(who + ": not changed, its " + key + " was changed since it was shown");
      continue;
    }
    CommitResult applied = ContactCommit::applyRecordValue(*change.person, key, std::string_view(change.after));
    if (!applied.ok()) {
      book.revert();
      outcome.error = who + ": " + applied.error;
      outcome.applied.clear();
      return outcome;
    }
    std::string error;
    if (applied.changed && !book.addRecord(change.person, &error)) {
      book.revert();
      outcome.error = who + ": " + error;
      outcome.applied.clear();
      return outcome;
    }
    if (applied.changed) outcome.applied.push_back(change);
  }
  if (outcome.applied.empty()) return outcome;
  book.setNextChangeDescription(description);
  ABSaveResult saved = book.saveChanges();
  if (!saved.ok()) {
    book.revert();
    outcome.error = saved.error.empty() ? "the address book could not be saved" : saved.error;
    outcome.applied.clear();
  }
  return outcome;
}

std::string valueDescription(const std::string& key, size_t count) {
  return "Set the " + key + " of " + contacts(count);
}

std::string replaceDescription(const std::string& key, const std::string& find, size_t count) {
  return "Replaced \u201C" + find + "\u201D in the " + key + " of " + contacts(count);
}

}  // namespace BulkEdit
