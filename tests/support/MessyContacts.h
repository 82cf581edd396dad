#pragma once

// Messy address books for the tests that open exported documents in the programs users have
// (LibreOffice, python-docx, openpyxl): CJK, right-to-left and emoji text, long notes, line
// feeds, XML specials, empty cells and birthdays with and without a year, over 7, 28 or 60 columns.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/record/ContactRecord.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace messy {

// Sixty record keys; "First Name" and "Last Name" lead, as every writer puts them.
inline const std::vector<std::string>& keys() {
  static const std::vector<std::string> all = {"First Name",
                                               "Last Name",
                                               "Company",
                                               "Mobile",
                                               "Note",
                                               "Birthday",
                                               "Home Email",
                                               "Job Title",
                                               "Department",
                                               "Nickname",
                                               "Work Email",
                                               "Other Email",
                                               "Home Phone",
                                               "Work Phone",
                                               "Main Phone",
                                               "iPhone",
                                               "Home Fax",
                                               "Work Fax",
                                               "Pager",
                                               "Home Street",
                                               "Home City",
                                               "Home State",
                                               "Home ZIP",
                                               "Home Country",
                                               "Work Street",
                                               "Work City",
                                               "Work State",
                                               "Work ZIP",
                                               "Other Street",
                                               "Other City",
                                               "Other State",
                                               "Other ZIP",
                                               "Other Country",
                                               "Home Country Code",
                                               "Work Country Code",
                                               "Other Country Code",
                                               "Home URL",
                                               "Work URL",
                                               "Home Page",
                                               "Twitter",
                                               "Facebook",
                                               "Myspace",
                                               "Flickr",
                                               "LinkedIn",
                                               "Father",
                                               "Mother",
                                               "Parent",
                                               "Brother",
                                               "Sister",
                                               "Child",
                                               "Friend",
                                               "Spouse",
                                               "Partner",
                                               "Assistant",
                                               "Manager",
                                               "Maiden Name",
                                               "Middle Name",
                                               "Suffix",
                                               "Work Country",
                                               "Home AIM"};
  return all;
}

inline std::string marker(size_t row, size_t column) {
  char text[48];
  std::snprintf(text, sizeof text, "r%03zuc%02zu", row % 1000, column % 100);
  return text;
}

inline std::string content(size_t row, size_t column) {
  static const char* const kinds[] = {
      "Ann Berg-Lund",
      "张伟 東京都港区 서울시",
      "שלום עולם",
      "مرحبا بالعالم",
      "party 🎉 time 😀",
      "first line\nsecond line\nthird",
      "O'Brien & <Sons> \"quoted\"",
      "Łódź Ærøskøbing Ñandú",
  };
  if (column == 4 && row % 5 == 0) {
    std::string note = "Long note:";
    for (int i = 0; i < 24; ++i) note += " word" + std::to_string(i) + (i % 8 == 7 ? "\n" : "");
    return note;
  }
  return kinds[(row * 3 + column) % 8];
}

// The birthday of a row: every fourth without a year (kept in the year 1604).
inline ABDate birthday(size_t row) {
  return ABDate{row % 4 == 0 ? 1604 : 1950 + static_cast<int>(row % 50), static_cast<int>(row % 12) + 1,
                static_cast<int>(row % 28) + 1};
}

inline std::string birthdayText(size_t row) {
  const ABDate date = birthday(row);
  char text[48];
  if (date.year == 1604)
    std::snprintf(text, sizeof text, "--%02d-%02d", date.month, date.day);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

// Whether the record of a row holds the key of a column (the first record holds every key).
inline bool holds(size_t row, size_t column) {
  return row == 1 || column < 2 || (row + column) % 9 != 0;
}

// count records over the first `columns` keys. Table row r (1-based) is record r - 1; its keys
// are set in column order on even rows and in reverse on odd ones.
inline ContactRecords contacts(size_t count, size_t columns) {
  ContactRecords records;
  for (size_t row = 1; row <= count; ++row) {
    ContactRecord record;
    for (size_t i = 0; i < columns; ++i) {
      const size_t column = row % 2 == 0 || row == 1 ? i : columns - 1 - i;
      if (!holds(row, column)) continue;
      if (keys()[column] == "Birthday")
        record.set("Birthday", birthday(row));
      else
        record.set(keys()[column], marker(row, column) + " " + content(row, column));
    }
    records.push_back(std::move(record));
  }
  return records;
}

// The table a document shows for contacts(count, columns): heading row, then one row per record,
// "" where a record lacks the key; at most maxColumns columns.
inline std::vector<std::vector<std::string>> grid(size_t count, size_t columns, size_t maxColumns) {
  const size_t shown = std::min(columns, maxColumns);
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(keys().begin(), keys().begin() + static_cast<long>(shown));
  for (size_t row = 1; row <= count; ++row) {
    rows.emplace_back();
    for (size_t column = 0; column < shown; ++column) {
      std::string text;
      if (holds(row, column))
        text = keys()[column] == "Birthday" ? birthdayText(row) : marker(row, column) + " " + content(row, column);
      rows.back().push_back(text);
    }
  }
  return rows;
}

// A fresh folder, removed with everything in it.
struct Scratch {
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/rolvane-documents-XXXXXX";
    root = mkdtemp(pattern.data());
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path root;
};

// Programs that the document checks need; empty when all are there, else the missing one.
inline std::string missingChecker() {
  for (const char* program : {"/usr/bin/soffice", "/usr/bin/pdftotext", "/usr/bin/python3"})
    if (access(program, X_OK) != 0) return program;
  return {};
}

struct Document {
  std::string path;
  std::vector<std::vector<std::string>> grid;
};

// Runs tests/support/check_documents.py on the documents; its report (empty output and status 0
// when every value shows in its row and column).
inline ProgramRun checkDocuments(const std::string& format, const std::vector<Document>& documents,
                                 const std::filesystem::path& workdir) {
  nlohmann::json list = nlohmann::json::array();
  for (const Document& document : documents) list.push_back({{"path", document.path}, {"grid", document.grid}});
  std::filesystem::create_directories(workdir);
  const auto expected = workdir / "expected.json";
  std::ofstream(expected) << list.dump();
  return runProgram("/usr/bin/python3", {ROLVANE_SOURCE_DIR "/tests/support/check_documents.py", format,
                                         expected.string(), workdir.string()});
}

}  // namespace messy
