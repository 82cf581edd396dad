#include "bench/BenchRecords.h"

#include <iterator>
#include <memory>
#include <string>

#include "core/record/AllInfoColumns.h"

ContactRecords everyHeadingRecords(std::size_t count) {
  ContactRecords records(count);
  const auto& headings = AllInfoColumns::base();
  for (std::size_t i = 0; i < count; ++i) {
    auto& record = records[i];
    record.reserve(headings.size());
    for (std::size_t h = 0; h < headings.size(); ++h) {
      if ((i + h) % 3 == 0) continue;
      if (headings[h] == "Birthday")
        record.set(headings[h], ABDate{1950 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12), 1});
      else
        record.set(headings[h], headings[h] + " " + std::to_string(i) + (h % 7 == 0 ? ", with \"quotes\"" : ""));
    }
    record.shrinkToFit();  // exactly its size, as the record builder makes a person's record
  }
  return records;
}

ContactRecords browserRecords(std::size_t count) {
  static const char* const keys[] = {
      "First Name",  "Last Name", "Middle Name", "Preffix",    "Suffix",       "Nickname",  "Company",
      "Department",  "Job Title", "Home Email",  "Work Email", "Other Email",  "Mobile",    "Home Phone",
      "Work Phone",  "Home Fax",  "Home Street", "Home City",  "Home State",   "Home ZIP",  "Home Country",
      "Work Street", "Work City", "Work State",  "Work ZIP",   "Work Country", "Home Page", "Note"};
  ContactRecords records;
  records.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ContactRecord record;
    record.reserve(32);
    const std::string n = std::to_string(i);
    for (std::size_t k = 0; k < std::size(keys); ++k) {
      if ((i + k) % 7 == 3 && k > 1) continue;
      record.set(keys[k], std::string(keys[k]).substr(0, 4) + " value " + n + (k % 3 == 0 ? " & <more>" : ""));
    }
    record.set("Birthday",
               ABDate{1950 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28)});
    record.set("Person", std::shared_ptr<ABPerson>());
    record.shrinkToFit();
    records.push_back(std::move(record));
  }
  return records;
}
