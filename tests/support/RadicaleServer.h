#pragma once

// A real CardDAV server for tests: Radicale on 127.0.0.1 with its storage in a temporary folder,
// one user ("ann", password "secret") and one address book (/ann/book/), stopped at the end.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync/HttpSession.h"

// A client other than Rolvane at an address book (user "ann", password "secret"): what another
// program does to the server while Rolvane is away.
struct OtherClient {
  std::string bookUrl;

  long put(const std::string& name, const std::string& text) const {
    HttpSession::Response response;
    send("PUT", name, {"Content-Type: text/vcard"}, text, response);
    return response.status;
  }
  std::string get(const std::string& name, long* status = nullptr) const {
    HttpSession::Response response;
    send("GET", name, {}, "", response);
    if (status) *status = response.status;
    return response.body;
  }
  long remove(const std::string& name) const {
    HttpSession::Response response;
    send("DELETE", name, {}, "", response);
    return response.status;
  }

 private:
  void send(const char* method, const std::string& name, const std::vector<std::string>& headers,
            const std::string& body, HttpSession::Response& response) const {
    HttpSession http("ann", "secret", false);
    http.request(method, bookUrl + name, headers, body, response, nullptr);
  }
};

class RadicaleServer {
 public:
  // logLevel "info" makes the log name every request the server received. Without fsync the server
  // does not wait for its writes to reach the disk (as no server should be run; for measurements).
  explicit RadicaleServer(const std::filesystem::path& folder, const std::string& logLevel = "warning",
                          bool fsync = true)
      : folder_(folder) {
    port_ = freePort();
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "users") << "ann:secret\nbob:other\n";
    std::ofstream(folder_ / "config") << "[server]\nhosts = 127.0.0.1:" << port_ << "\n"
                                      << "[auth]\ntype = htpasswd\nhtpasswd_filename = " << (folder_ / "users").string()
                                      << "\nhtpasswd_encryption = plain\n"
                                      << "[storage]\nfilesystem_folder = " << (folder_ / "collections").string() << "\n"
                                      << "[logging]\nlevel = " << logLevel << "\n";
    pid_ = fork();
    if (pid_ == 0) {
      std::string log = (folder_ / "log").string();
      freopen(log.c_str(), "w", stdout);
      freopen(log.c_str(), "a", stderr);
      std::string config = (folder_ / "config").string();
      if (fsync)
        execl("/usr/bin/python3", "python3", "-m", "radicale", "--config", config.c_str(), static_cast<char*>(nullptr));
      // The setting has no place in the configuration file; it is the default changed before start.
      const char* withoutFsync =
          "import radicale.config\n"
          "radicale.config.DEFAULT_CONFIG_SCHEMA['storage']['_filesystem_fsync']['value'] = 'False'\n"
          "from radicale.__main__ import run\n"
          "run()\n";
      execl("/usr/bin/python3", "python3", "-c", withoutFsync, "--config", config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && !answering(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ready_ = answering() && makeBook("ann", "book", "Book");
  }
  ~RadicaleServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return ready_; }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string bookUrl() const { return origin() + "/ann/book/"; }
  std::string log() const {
    std::ifstream in(folder_ / "log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  bool makeBook(const std::string& user, const std::string& name, const std::string& displayName) {
    HttpSession http(user, user == "ann" ? "secret" : "other", false);
    HttpSession::Response response;
    std::string body =
        "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop>"
        "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype><d:displayname>" +
        displayName + "</d:displayname></d:prop></d:set></d:mkcol>";
    return http.request("MKCOL", origin() + "/" + user + "/" + name + "/", {"Content-Type: application/xml"}, body,
                        response, nullptr) &&
           response.status == 201;
  }
  // What a client other than Rolvane does to the server.
  long put(const std::string& name, const std::string& text) { return OtherClient{bookUrl()}.put(name, text); }
  std::string get(const std::string& name, long* status = nullptr) { return OtherClient{bookUrl()}.get(name, status); }
  long remove(const std::string& name) { return OtherClient{bookUrl()}.remove(name); }

  static int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    int port = ntohs(address.sin_port);
    close(fd);
    return port;
  }

 private:
  bool answering() const {
    HttpSession http("", "", false);
    HttpSession::Response response;
    return http.request("GET", origin() + "/.web/", {}, "", response, nullptr) && response.status > 0;
  }

  std::filesystem::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};
