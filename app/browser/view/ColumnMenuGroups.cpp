#include "app/browser/view/ColumnMenuGroups.h"

namespace {

std::vector<std::string> prefixed(const char* prefix, std::initializer_list<const char*> rests) {
  std::vector<std::string> keys;
  for (const char* rest : rests) keys.push_back(std::string(prefix) + rest);
  return keys;
}

const std::initializer_list<const char*> kAddressParts = {"Street", "City", "State", "ZIP", "Country", "Country Code"};
const std::initializer_list<const char*> kServices = {"AIM", "QQ",       "Google Talk", "Gadu-Gadu", "Jabber",
                                                      "MSN", "Facebook", "Skype",       "Yahoo",     "ICQ"};

}  // namespace

const std::vector<ColumnMenuGroup>& columnMenuGroups() {
  static const std::vector<ColumnMenuGroup> groups = {
      {"Name and Work",
       {"First Name", "Last Name", "Middle Name", "Maiden Name", "Nickname", "Preffix", "Suffix", "FullName",
        "Phonetic First Name", "Phonetic Last Name", "Company", "Department", "Job Title", "Birthday", "Note"}},
      {"Home Address", prefixed("Home ", kAddressParts)},
      {"Work Address", prefixed("Work ", kAddressParts)},
      {"Other Address", prefixed("Other ", kAddressParts)},
      {"Phone", {"Mobile", "iPhone", "Main Phone", "Home Phone", "Work Phone", "Home Fax", "Work Fax", "Pager"}},
      {"Email", {"Home Email", "Work Email", "Other Email"}},
      {"URL", {"Home URL", "Work URL", "Home Page"}},
      {"Home IM", prefixed("Home ", kServices)},
      {"Work IM", prefixed("Work ", kServices)},
      {"Other IM", prefixed("Other ", kServices)},
      {"Related Names",
       {"Father", "Mother", "Parent", "Brother", "Sister", "Child", "Friend", "Spouse", "Partner", "Assistant",
        "Manager"}},
      {"Social Profile", {"Twitter", "Facebook", "Myspace", "Flickr", "LinkedIn"}},
  };
  return groups;
}
