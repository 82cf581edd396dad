#include "app/model/AllInfoColumns.h"

#include <algorithm>

namespace AllInfoColumns {

const std::vector<std::string>& base() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> h = {"First Name", "Last Name",  "Home Email", "Work Email", "Other Email",
                                  "Mobile",     "iPhone",     "Main Phone", "Home Fax",   "Work Fax",
                                  "Pager",      "Work Phone", "Home Phone"};
    for (const char* prefix : {"Home ", "Work ", "Other "})
      for (const char* part : {"Street", "City", "State", "ZIP", "Country", "Country Code"})
        h.push_back(std::string(prefix) + part);
    for (const char* prefix : {"Home ", "Work ", "Other "})
      for (const char* service :
           {"AIM", "QQ", "Google Talk", "Gadu-Gadu", "Jabber", "MSN", "Facebook", "Skype", "Yahoo", "ICQ"})
        h.push_back(std::string(prefix) + service);
    for (const char* key :
         {"Twitter",   "Facebook",  "Myspace",  "Flickr",      "LinkedIn",    "Department", "Note",     "Suffix",
          "Job Title", "Birthday",  "Nickname", "Maiden Name", "Middle Name", "Company",    "FullName", "Home URL",
          "Work URL",  "Home Page", "Father",   "Mother",      "Parent",      "Brother",    "Sister",   "Child",
          "Friend",    "Spouse",    "Partner",  "Assistant",   "Manager"})
      h.push_back(key);
    return h;
  }();
  return list;
}

const std::vector<std::string>& csv() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> h = base();
    auto middle = std::find(h.begin(), h.end(), "Middle Name");
    h.insert(middle, {"Phonetic First Name", "Phonetic Last Name"});
    return h;
  }();
  return list;
}

const std::vector<std::string>& spreadsheet() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> h = base();
    h.push_back("Maiden Name");
    h.push_back("Middle Name");
    return h;
  }();
  return list;
}

}  // namespace AllInfoColumns
