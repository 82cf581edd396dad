#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ABAddressBook;
class ABPerson;
class ABPersonData;
using ABPersonRef = std::shared_ptr<ABPerson>;
class ABStoredBatch;

// What every subcommand receives: its own arguments (after the subcommand's name), the store
// path chosen on the command line (empty: the default store) and the output streams.
struct CommandContext {
  std::vector<std::string> args;
  std::string storePath;
  std::ostream& out;
  std::ostream& err;

  // Opens the store (the shared one). On failure writes one line to err and returns nullptr. Only
  // commands that bring contacts in (mayCreate) make a store where there is none; every other
  // command on a missing store fails, naming the path, and creates nothing.
  ABAddressBook* openStore(bool mayCreate = false) const;
  // The store's file (the default store's when no path was chosen), whether or not it exists.
  std::filesystem::path storeFile() const;
  // Reads every person of the store once, a batch at a time, without opening the address book or
  // keeping the persons (ABAddressBook::readPersons): for a command that only reads each person
  // once. On failure writes one line to err, as openStore does, and returns false.
  bool readStore(const std::function<void(std::vector<ABPersonData>& batch)>& visit) const;
  // The same without decoding: visit takes batches of personsPerBatch persons as stored
  // (ABAddressBook::readStoredBatches) and returns false to stop. On failure writes one line to err.
  bool readStoredStore(size_t personsPerBatch,
                       const std::function<bool(std::shared_ptr<const ABStoredBatch> batch)>& visit) const;
  // The same for a reader of the store's file of its own: read gets the path of the store, which
  // exists, and says why it failed in *error.
  bool readStoreWith(const std::function<bool(const std::filesystem::path& path, std::string* error)>& read) const;
  // Writes the one line that says the store could not be read: error is the store's words.
  void storeUnreadable(const std::string& error) const;
};

using CommandFunction = std::function<int(CommandContext&)>;

struct CommandInfo {
  std::string name;
  std::string usage;  // one line, without the program name
  CommandFunction run;
  // Lines `rolvane COMMAND --help` prints after the description (the conditions a command takes,
  // say); none when empty.
  std::function<std::string()> moreHelp = {};
};

// Subcommands register themselves from their own source file with a static CommandRegistration.
class CommandRegistry {
 public:
  static CommandRegistry& instance();
  void add(CommandInfo info);
  const CommandInfo* find(const std::string& name) const;
  const std::map<std::string, CommandInfo>& commands() const { return commands_; }

 private:
  std::map<std::string, CommandInfo> commands_;
};

struct CommandRegistration {
  CommandRegistration(std::string name, std::string usage, CommandFunction run,
                      std::function<std::string()> moreHelp = {}) {
    CommandRegistry::instance().add({std::move(name), std::move(usage), std::move(run), std::move(moreHelp)});
  }
};

// Reads the value of --region (a two-letter region code libphonenumber knows, any case) into
// region; false after one line on err naming the problem.
bool regionArgument(const std::string& value, const std::string& command, std::ostream& err, std::string& region);

// The contacts of the unique ids given with --uid, each once, in the order given. False after one
// line on err ("rolvane COMMAND: no contact has the unique id "U"" and whatNothing) when an id is
// nobody's.
bool personsOfUids(const ABAddressBook& book, const std::vector<std::string>& uids, const std::string& command,
                   std::ostream& err, std::vector<ABPersonRef>& persons, const std::string& whatNothing = "");

// Runs the whole command line as the rolvane program does; returns the exit status.
int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

// Opens the application window, offering to import the given vCard files. Provided by the
// desktop shell when it is built in.
int runApplicationWindow(int argc, char** argv, const std::string& storePath, const std::vector<std::string>& files);
