#include <algorithm>
#include <ostream>
#include <set>

#include "app/cli/CommandRegistry.h"
#include "app/review/FixActions.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

namespace Opt = ReviewCategories::Option;

// Answers the delete confirmation with what --yes said.
class CommandLineQuestions : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

bool deletesContacts(const std::string& option) {
  return option == Opt::kDeleteContact || option == Opt::kDeleteDuplicates || option == Opt::kMerge;
}

int runFix(CommandContext& ctx) {
  std::string conditionName, option;
  std::set<std::string> uids;
  bool yes = false;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    auto value = [&](const char* flag) -> const std::string* {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane fix: " << flag << " needs a value\n";
        return nullptr;
      }
      return &ctx.args[++i];
    };
    if (arg == "--condition") {
      auto v = value("--condition");
      if (!v) return 2;
      conditionName = *v;
    } else if (arg == "--option") {
      auto v = value("--option");
      if (!v) return 2;
      option = *v;
    } else if (arg == "--uid") {
      auto v = value("--uid");
      if (!v) return 2;
      uids.insert(*v);
    } else if (arg == "--yes") {
      yes = true;
    } else {
      ctx.err << "rolvane fix: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  const ScanCondition* condition = scanConditionNamed(conditionName);
  if (!condition) {
    ctx.err << "rolvane fix: unknown condition \"" << conditionName << "\"\n";
    return 2;
  }
  const auto* category = ReviewCategories::byConditionKey(condition->key);
  const auto& options = category->matrix->options;
  if (std::find(options.begin(), options.end(), option) == options.end()) {
    ctx.err << "rolvane fix: \"" << option << "\" is not an option of \"" << conditionName << "\" (options:";
    for (const auto& o : options) ctx.err << " \"" << o << "\"";
    ctx.err << ")\n";
    return 2;
  }
  if (option == Opt::kEditInContacts) {
    ctx.err << "rolvane fix: \"Edit in Contacts\" needs the application window\n";
    return 2;
  }
  if (deletesContacts(option) && !yes) {
    ctx.err << "rolvane fix: \"" << option << "\" deletes contacts; add --yes to go ahead\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;

  ScanResult result = ScanAddressBook(*book).scan({conditionName});
  ReviewOutline outline;
  outline.setOutlineViewDataSouce(result);
  outline.expandAll();
  PersonItem* father = outline.category(category->title);
  if (!father) {
    ctx.out << "Nothing to fix: " << kNothingFoundMessage << "\n";
    return 0;
  }
  CommandLineQuestions questions;
  FixActions actions(outline, *book, questions);
  int fixed = 0;
  std::string errors;
  // A finding that could not be fixed stays in the outline; it is passed over by what it says
  // (person, label), so the next finding is the first row not yet tried.
  std::set<std::string> tried;
  auto identity = [](const PersonItem& row) { return row.person()->uniqueId() + "\n" + row.duplicateEmailType(); };
  while (PersonItem* father = outline.category(category->title)) {
    PersonItem* next = nullptr;
    for (PersonItem* row : father->childrenArray()) {
      if ((!uids.empty() && !uids.count(row->person()->uniqueId())) || tried.count(identity(*row))) continue;
      next = row;
      break;
    }
    if (!next) break;
    std::string tag = identity(*next);
    FixOutcome outcome = actions.apply(*category, next, option);
    for (const auto& change : outcome.changes) ctx.out << change << "\n";
    if (!outcome.error.empty()) errors += outcome.error + "\n";
    if (outcome.storeChanged) ++fixed;
    if (!outcome.rowRemoved) tried.insert(tag);
  }
  ctx.out << "Fixed " << fixed << " finding(s) of \"" << conditionName << "\" with \"" << option << "\"\n";
  if (!errors.empty()) {
    ctx.err << "rolvane fix: " << errors;
    return 1;
  }
  return 0;
}

const CommandRegistration registration("fix", "fix --condition NAME --option \"TITLE\" [--uid UID]... [--yes]", runFix);

}  // namespace
