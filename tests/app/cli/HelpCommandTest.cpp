#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "app/cli/WindowModule.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

ProgramRun run(std::vector<std::string> args) {
  return runProgram(ROLVANE_PROGRAM, std::move(args));
}

// The commands `rolvane --help` lists.
std::set<std::string> listedCommands(const std::string& help) {
  std::set<std::string> names;
  const std::regex line(R"(\n  rolvane \[--store PATH\] ([a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), line); it != std::sregex_iterator(); ++it)
    names.insert((*it)[1]);
  return names;
}

}  // namespace

TEST(HelpCommandTest, VersionAndHelpExitZero) {
  ProgramRun version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("rolvane ") + ROLVANE_TEST_VERSION + "\n");

  ProgramRun help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  const std::set<std::string> commands = listedCommands(help.out);
  for (const char* known : {"import", "scan", "export", "fix"}) EXPECT_TRUE(commands.count(known)) << known;
  EXPECT_NE(help.out.find("--version"), std::string::npos);
}

TEST(HelpCommandTest, EveryCommandExplainsItselfWithHelp) {
  const std::set<std::string> commands = listedCommands(run({"--help"}).out);
  ASSERT_GE(commands.size(), 4u);
  for (const std::string& command : commands) {
    ProgramRun help = run({command, "--help"});
    EXPECT_EQ(help.status, 0) << command << ": " << help.out;
    EXPECT_EQ(help.out.rfind("usage: rolvane [--store PATH] " + command, 0), 0u) << help.out;
    // More than the usage line: what the command does.
    EXPECT_NE(help.out.find("\n\n"), std::string::npos) << command << " says only its usage: " << help.out;
    // --help is answered before anything runs: no store is opened or made.
    ProgramRun again = run({"--store", "/nonexistent/rolvane-help/book.sqlite", command, "--help"});
    EXPECT_EQ(again.status, 0) << command;
  }
  // Options a command takes are in its help.
  EXPECT_NE(run({"sync", "--help"}).out.find("--allow-mass-delete lets it go on"), std::string::npos);
  EXPECT_NE(run({"edit", "--help"}).out.find("--replace replaces"), std::string::npos);
  EXPECT_NE(run({"source", "--help"}).out.find("--password-file"), std::string::npos);
}

TEST(HelpCommandTest, UnknownCommandsAndMissingFilesAreRefused) {
  ProgramRun unknown = run({"no-such-command"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("unknown command 'no-such-command'"), std::string::npos);
  ProgramRun missing = run({"/nonexistent/cards.vcf"});
  EXPECT_EQ(missing.status, 2);
}

// The commands start without the window's libraries, nor those of the network and the secret
// store: Qt is loaded only when the window opens, from the window's module, which loads whole and
// offers the program its entry; libcurl and libsecret when a command first needs them.
TEST(HelpCommandTest, CommandsStartWithoutTheWindowsOrTheNetworksLibraries) {
  ASSERT_EQ(setenv("LD_TRACE_LOADED_OBJECTS", "1", 1), 0);  // the dynamic loader lists what it loads
  ProgramRun loaded = run({"--version"});
  unsetenv("LD_TRACE_LOADED_OBJECTS");
  EXPECT_NE(loaded.out.find("libsqlite3"), std::string::npos) << loaded.out;
  for (const char* later : {"libQt6", "libcurl", "libsecret"})
    EXPECT_EQ(loaded.out.find(later), std::string::npos) << later << " in\n" << loaded.out;
#ifdef ROLVANE_WINDOW_MODULE_PATH
  void* module = dlopen(ROLVANE_WINDOW_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  EXPECT_NE(dlsym(module, ROLVANE_WINDOW_ENTRY), nullptr);
#endif
}
