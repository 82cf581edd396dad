#include "app/scanner/ScanResult.h"

#include <algorithm>

bool ScanResult::contains(const std::string& key) const {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

const std::vector<ABPersonRef>& ScanResult::personsFor(const std::string& key) const {
  static const std::vector<ABPersonRef> none;
  for (const auto& [k, list] : persons)
    if (k == key) return list;
  return none;
}

void ScanResult::setPersons(const std::string& key, std::vector<ABPersonRef> list) {
  for (auto& [k, existing] : persons) {
    if (k == key) {
      existing = std::move(list);
      return;
    }
  }
  persons.emplace_back(key, std::move(list));
  keys.push_back(key);
}

void ScanResult::setShareEmail(std::vector<SharedEmailFinding> findings) {
  shareEmail = std::move(findings);
  if (!contains("ShareEmail")) keys.push_back("ShareEmail");
}

void ScanResult::setSimilarContacts(std::vector<SimilarGroup> groups) {
  similarContacts = std::move(groups);
  if (!contains("SimilarContacts")) keys.push_back("SimilarContacts");
}
