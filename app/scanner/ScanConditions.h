#pragma once

#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

class ScanAddressBook;
struct PersonValues;

// The table of conditions, the scanner's half: for each condition its name (shown in the
// preferences, passed to the scanner and to `rolvane scan/fix --condition`), its key (of its list in
// a scan result and in `scan --json`), how it is found and what it lists. The review side of each
// condition (its category, details text, fix options and previews, re-check of a stale finding) is
// its file in app/review/conditions/. In the preferences' order, which is also a scan's default order.
struct ScanCondition {
  // How a scan finds the condition: the persons meeting a test on one person's values (`meets`,
  // all such tests sharing one pass over the snapshot), or a task of its own over the whole
  // snapshot (the phone tasks share one reading of every number).
  enum class Task {
    kPersonTest,
    kDuplicateGroups,           // one person per duplicate group
    kSharedEmails,              // one finding per e-mail value shared with others
    kSimilarGroups,             // groups of contacts that are probably one person
    kPhonesWrittenTwice,        // persons holding one number written in two ways
    kPhonesNotInternational,    // persons holding a number not in international form
    kUnlikelyDates,             // persons whose birthday cannot be right, alone or beside their duplicates'
    kGroupsWrittenDifferently,  // persons and group cards holding a group name another spelling of which is used more
    kEmptyGroups,               // group cards without members
    kSharedPhotos,              // persons showing the picture another person shows, who is not one of them
  };
  // What its list holds (in a ScanResult and in `scan --json`): persons (their unique ids), shared
  // e-mail values ({"SearchedPerson", "MatchPersonsArray", "DuplicateEmailType"}) or groups of
  // similar contacts ({"Persons", "Reason"}).
  enum class Lists { kPersons, kSharedEmails, kSimilarGroups };

  std::string name;
  std::string key;
  std::vector<ABPersonRef> (ScanAddressBook::*finder)() const;  // the finder run alone
  // The test on one person's values; nullptr for the conditions of a task of their own.
  bool (*meets)(const PersonValues&);
  Task task = Task::kPersonTest;
  // For a condition the user keeps findings of as they are: what a person's "Keep as it is" mark
  // (ABMarkKind::kKeptAsItIs, the condition's key first) must hold for the finding to stay kept.
  std::vector<std::string> (*keptValues)(const PersonValues&) = nullptr;

  Lists lists() const {
    return task == Task::kSharedEmails    ? Lists::kSharedEmails
           : task == Task::kSimilarGroups ? Lists::kSimilarGroups
                                          : Lists::kPersons;
  }
};

const std::vector<ScanCondition>& scanConditions();
const ScanCondition* scanConditionNamed(const std::string& name);
const ScanCondition* scanConditionKeyed(const std::string& key);
std::vector<std::string> allConditionNames();

inline const std::string kNothingFoundTitle = "Notes";
inline const std::string kNothingFoundMessage = "Scan completed, no contact matches the condition!";
