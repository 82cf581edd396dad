#include "frameworks/numbers/NumbersAllInfoTitles.h"

namespace {

std::vector<std::string> makeTitles() {
  std::vector<std::string> titles = {"First Name", "Last Name",  "Home Email", "Work Email", "Other Email",
                                     "Mobile",     "iPhone",     "Main Phone", "Home Fax",   "Work Fax",
                                     "Pager",      "Work Phone", "Home Phone"};
  for (const char* place : {"Home ", "Work ", "Other "})
    for (const char* part : {"Street", "City", "State", "ZIP", "Country", "Country Code"})
      titles.push_back(std::string(place) + part);
  for (const char* place : {"Home ", "Work ", "Other "})
    for (const char* service :
         {"AIM", "QQ", "Google Talk", "Gadu-Gadu", "Jabber", "MSN", "Facebook", "Skype", "Yahoo", "ICQ"})
      titles.push_back(std::string(place) + service);
  for (const char* title :
       {"Twitter",   "Facebook",  "Myspace",  "Flickr",      "LinkedIn",    "Department",  "Note",       "Suffix",
        "Job Title", "Birthday",  "Nickname", "Maiden Name", "Middle Name", "Company",     "FullName",   "Home URL",
        "Work URL",  "Home Page", "Father",   "Mother",      "Parent",      "Brother",     "Sister",     "Child",
        "Friend",    "Spouse",    "Partner",  "Assistant",   "Manager",     "Maiden Name", "Middle Name"})
    titles.emplace_back(title);
  return titles;
}

}  // namespace

const std::vector<std::string>& numbersAllInfoTitles() {
  static const std::vector<std::string> titles = makeTitles();
  return titles;
}
