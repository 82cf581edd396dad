// The documents opened by the programs that read them: python-docx and LibreOffice.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>

#include "frameworks/docx/DocxCreator.h"
#include "tests/frameworks/docx/DocxTestSupport.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// Runs the program with the arguments (no shell), standard output into outputFile; exit status.
int run(const std::vector<std::string>& arguments, const std::string& outputFile,
        const std::vector<std::string>& environment = {}) {
  const pid_t child = fork();
  if (child == 0) {
    for (const auto& setting : environment) putenv(const_cast<char*>(setting.c_str()));
    if (!outputFile.empty()) {
      if (!freopen(outputFile.c_str(), "w", stdout)) _exit(126);
    }
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool pythonDocxAvailable() {
  return access("/usr/bin/python3", X_OK) == 0 && run({"/usr/bin/python3", "-c", "import docx"}, "/dev/null") == 0;
}

std::string findLibreOffice() {
  for (const char* candidate : {"/usr/bin/libreoffice", "/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"})
    if (access(candidate, X_OK) == 0) return candidate;
  return {};
}

// Records with awkward values: escapes, line breaks, a date, a column only some records have.
ContactRecords readBackContacts() {
  ContactRecords records = sampleContacts(7);
  records[5].set("Job Title", "Chief <of> \"everything\" & more");
  records[6].set("Nickname", "naïve café – 東京");
  return records;
}

std::string expectedText(const ContactRecord& record, const std::string& key) {
  return record.textOr(key);
}

}  // namespace

TEST(DocxReadBack, PythonDocxSeesEveryValueInItsColumn) {
  if (!pythonDocxAvailable()) GTEST_SKIP() << "python-docx (/usr/bin/python3 with the docx module) is not installed";
  DocxScratch scratch;
  const ContactRecords records = readBackContacts();
  DocxCreator creator(records, (scratch.folder("out") / "Zedid-Ovuzazur").string());
  ASSERT_TRUE(creator.startConvert()) << creator.error();

  const fs::path script = scratch.root / "read.py";
  std::ofstream(script) << "import docx, json, sys\n"
                           "d = docx.Document(sys.argv[1])\n"
                           "t = d.tables[0]\n"
                           "rows = [[docx.table._Cell(tc, t).text for tc in r._tr.tc_lst] for r in t.rows]\n"
                           "print(json.dumps(rows))\n";
  const fs::path output = scratch.root / "cells.json";
  ASSERT_EQ(run({"/usr/bin/python3", script.string(), creator.outputPath()}, output.string()), 0);
  const auto rows = nlohmann::json::parse(slurp(output));

  const auto& keys = creator.dicKeyArr();
  ASSERT_EQ(rows.size(), records.size() + 1);
  ASSERT_EQ(rows[0].size(), keys.size());
  for (size_t column = 0; column < keys.size(); ++column) EXPECT_EQ(rows[0][column], keys[column]);
  for (size_t row = 0; row < records.size(); ++row)
    for (size_t column = 0; column < keys.size(); ++column)
      EXPECT_EQ(rows[row + 1][column], expectedText(records[row], keys[column])) << row << " " << keys[column];
}

// The text of an OpenDocument element, with its spaces, tabs and line breaks.
std::string odfText(pugi::xml_node node) {
  std::string text;
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata) {
      text += child.value();
    } else if (std::string_view(child.name()) == "text:s") {
      text.append(static_cast<size_t>(std::max(1, child.attribute("text:c").as_int(1))), ' ');
    } else if (std::string_view(child.name()) == "text:tab") {
      text += '\t';
    } else if (std::string_view(child.name()) == "text:line-break") {
      text += '\n';
    } else {
      if (std::string_view(child.name()) == "text:p" && !text.empty()) text += '\n';
      text += odfText(child);
    }
  }
  return text;
}

// Word shows line breaks and tabs inside a text run as spaces; compare with all white space as one space.
std::string normalized(const std::string& text) {
  std::string result;
  for (char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (space) {
      if (!result.empty() && result.back() != ' ') result += ' ';
    } else {
      result += c;
    }
  }
  if (!result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

TEST(DocxReadBack, LibreOfficeShowsEveryValueInItsColumn) {
  const std::string office = findLibreOffice();
  if (office.empty()) GTEST_SKIP() << "LibreOffice is not installed";
  DocxScratch scratch;
  const ContactRecords records = readBackContacts();
  DocxCreator creator(records, (scratch.folder("out") / "Zedid-Ovuzazur").string());
  ASSERT_TRUE(creator.startConvert()) << creator.error();

  const fs::path home = scratch.folder("home");
  const fs::path converted = scratch.folder("converted");
  const int status = run({"/usr/bin/timeout", "300", office, "--headless", "--norestore", "--convert-to", "fodt",
                          "--outdir", converted.string(), creator.outputPath()},
                         "/dev/null", {"HOME=" + home.string()});
  ASSERT_EQ(status, 0) << "LibreOffice did not convert the document";
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file((converted / "Zedid-Ovuzazur.fodt").c_str()));
  const pugi::xml_node table = document.select_node("//table:table").node();
  ASSERT_TRUE(table) << "LibreOffice shows no table";

  std::vector<std::vector<std::string>> rows;
  // The heading row repeats on every page: LibreOffice keeps it among the table's header rows.
  const auto addRow = [&](pugi::xml_node row) {
    rows.emplace_back();
    for (pugi::xml_node cell : row.children("table:table-cell")) rows.back().push_back(normalized(odfText(cell)));
  };
  for (pugi::xml_node child : table.children()) {
    if (std::string_view(child.name()) == "table:table-header-rows") {
      for (pugi::xml_node row : child.children("table:table-row")) addRow(row);
    } else if (std::string_view(child.name()) == "table:table-row") {
      addRow(child);
    }
  }
  EXPECT_TRUE(table.child("table:table-header-rows")) << "the heading row is not repeated on every page";
  const auto& keys = creator.dicKeyArr();
  ASSERT_EQ(rows.size(), records.size() + 1);
  for (size_t column = 0; column < keys.size(); ++column) EXPECT_EQ(rows[0].at(column), keys[column]);
  for (size_t row = 0; row < records.size(); ++row) {
    ASSERT_EQ(rows[row + 1].size(), keys.size());
    for (size_t column = 0; column < keys.size(); ++column)
      EXPECT_EQ(rows[row + 1][column], normalized(expectedText(records[row], keys[column])))
          << row << " " << keys[column];
  }
}
