// The password asked on a terminal (a pseudo-terminal here): nothing typed after the prompt shows
// is echoed, and nothing typed is thrown away.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "platform/sync/SourcePassword.h"

namespace {

// What the terminal shows until it shows `until` (or nothing comes for the timeout).
std::string readUntil(int terminal, std::string& shown, const std::string& until, int timeoutMs = 3000) {
  for (;;) {
    if (!until.empty() && shown.find(until) != std::string::npos) return shown;
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0) return shown;
    char buffer[256];
    ssize_t got = ::read(terminal, buffer, sizeof buffer);
    if (got <= 0) return shown;
    shown.append(buffer, static_cast<std::size_t>(got));
  }
}

// Runs the prompt in a child on a new terminal; typeAhead is typed before the prompt, typed as soon
// as the prompt shows. Gives back what the terminal showed.
std::string prompted(const std::string& typeAhead, const std::string& typed) {
  int terminal = -1;
  pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(typeAhead.empty() ? 0 : 300));
    std::string password;
    bool ok = askPasswordOnTerminal("Password: ", password);
    std::cerr << "GOT[" << password << "]" << std::endl;
    _exit(ok ? 0 : 1);
  }
  if (child < 0) return "forkpty failed";
  std::string shown;
  if (!typeAhead.empty()) {
    EXPECT_EQ(::write(terminal, typeAhead.data(), typeAhead.size()), static_cast<ssize_t>(typeAhead.size()));
  } else {
    readUntil(terminal, shown, "Password: ");
    EXPECT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  }
  readUntil(terminal, shown, "]");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(terminal);
  return shown;
}

TEST(PasswordPromptTest, NothingTypedAfterThePromptIsShownAndNothingTypedIsLost) {
  std::string shown = prompted("", "typed-after\n");
  std::string afterPrompt = shown.substr(std::min(shown.size(), shown.find("Password: ")));
  EXPECT_EQ(afterPrompt.find("typed-after\r"), std::string::npos) << shown;
  EXPECT_NE(shown.find("GOT[typed-after]"), std::string::npos) << shown;

  // Typed before the prompt showed (the terminal echoes that itself): kept as the answer.
  shown = prompted("typed-ahead\n", "");
  EXPECT_NE(shown.find("GOT[typed-ahead]"), std::string::npos) << shown;
}

}  // namespace
