#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/addressbook/ABPerson.h"

// Persons holding an e-mail value that the searched person holds too.
struct SharedEmailFinding {
  ABPersonRef SearchedPerson;
  std::vector<ABPersonRef> MatchPersonsArray;  // without the searched person, in store order
  std::string DuplicateEmailType;              // the label of the value on the searched person
  std::string duplicateEmail;                  // the shared value itself
};

// Persons that are probably one person, and why.
struct SimilarGroup {
  std::vector<ABPersonRef> Persons;  // in store order
  std::string Reason;                // "same phone +49 30 1234567", "same name apart from accents", ...
};

// What a scan found: condition key -> its non-empty list, in the order the lists were stored.
struct ScanResult {
  std::vector<std::pair<std::string, std::vector<ABPersonRef>>> persons;  // every key of persons
  std::vector<SharedEmailFinding> shareEmail;                             // under "ShareEmail"
  std::vector<SimilarGroup> similarContacts;                              // under "SimilarContacts"
  std::vector<std::string> keys;                                          // every stored key, in order
  // The region phone numbers without a country code were read for.
  std::string region;

  bool empty() const { return keys.empty(); }
  bool contains(const std::string& key) const;
  // The persons under a key; empty when absent.
  const std::vector<ABPersonRef>& personsFor(const std::string& key) const;
  void setPersons(const std::string& key, std::vector<ABPersonRef> list);
  void setShareEmail(std::vector<SharedEmailFinding> findings);
  void setSimilarContacts(std::vector<SimilarGroup> groups);
};
