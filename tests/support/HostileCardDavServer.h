#pragma once

// A CardDAV server that turns against its client, for tests: tests/support/hostile_carddav.py on
// 127.0.0.1, one address book (/u/book/, user "ann", password "secret") and a second port playing
// another host. What it does wrong is set with mode(); requests() is what both ports received.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "RadicaleServer.h"
#include "tests/support/TestPaths.h"

class HostileCardDavServer {
 public:
  explicit HostileCardDavServer(const std::filesystem::path& folder) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    port_ = RadicaleServer::freePort();
    do otherPort_ = RadicaleServer::freePort();
    while (otherPort_ == port_);
    pid_ = fork();
    if (pid_ == 0) {
      std::string log = (folder_ / "log").string();
      freopen(log.c_str(), "w", stdout);
      freopen(log.c_str(), "a", stderr);
      execl("/usr/bin/python3", "python3", ROLVANE_SOURCE_DIR "/tests/support/hostile_carddav.py", folder_.c_str(),
            std::to_string(port_).c_str(), std::to_string(otherPort_).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(folder_ / "ready"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ready_ = std::filesystem::exists(folder_ / "ready");
  }
  ~HostileCardDavServer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  HostileCardDavServer(const HostileCardDavServer&) = delete;
  HostileCardDavServer& operator=(const HostileCardDavServer&) = delete;

  bool ready() const { return ready_; }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string bookUrl() const { return origin() + "/u/book/"; }
  int otherPort() const { return otherPort_; }
  std::string log() const { return read("log"); }
  // One line per request: "PORT METHOD PATH auth=yes|no ua=USER-AGENT".
  std::string requests() const { return read("requests.log"); }
  // The ways to misbehave, one word a line (see hostile_carddav.py); empty: none.
  void mode(const std::string& modes) { std::ofstream(folder_ / "mode") << modes; }

  long put(const std::string& name, const std::string& text) { return OtherClient{bookUrl()}.put(name, text); }
  std::string get(const std::string& name, long* status = nullptr) { return OtherClient{bookUrl()}.get(name, status); }
  long remove(const std::string& name) { return OtherClient{bookUrl()}.remove(name); }

 private:
  std::string read(const char* name) const {
    std::ifstream in(folder_ / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
  int port_ = 0;
  int otherPort_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};
