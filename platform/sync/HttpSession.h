#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// HTTP(S) connections to one server, kept alive between requests (libcurl). Redirects are
// followed only to the same scheme, host and port, so credentials never go to another host;
// certificates are verified unless `insecure` was asked for. Once a server has shown that it takes
// Basic authentication only, later requests to it carry the credentials at once instead of each
// being sent twice (first without them, to learn the scheme).
class HttpSession {
 public:
  struct Response {
    long status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string url;  // where the answer came from, after redirects
  };

  HttpSession(std::string user, std::string password, bool insecure);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // False and *error when no HTTP answer came (no server, timeout, TLS failure); an HTTP error
  // status is an answer.
  bool request(const std::string& method, const std::string& url, const std::vector<std::string>& headers,
               const std::string& body, Response& response, std::string* error);

  struct Request {
    std::string method;
    std::string url;
    std::vector<std::string> headers;
    std::string body;
  };
  // Sends every request, up to inFlight of them at once, each on a connection of its own. The
  // requests must not depend on each other: they reach the server in any order. responses[i] is
  // the answer to requests[i], and errors[i] is empty when an answer came (else it says why none did).
  void requestAll(const std::vector<Request>& requests, std::size_t inFlight, std::vector<Response>& responses,
                  std::vector<std::string>& errors);

  // "https://host:port" of a URL, and a URL made of a base and an href (absolute, or a path).
  static std::string originOf(const std::string& url);
  static std::string resolve(const std::string& base, const std::string& href);
  static std::string pathOf(const std::string& url);

 private:
  struct Transfer;
  // Sets a handle up for one request to target; the transfer keeps what must outlive the setup.
  void prepare(void* handle, const std::string& method, const std::string& target,
               const std::vector<std::string>& headers, const std::string& body, Transfer& transfer);
  // After an answer came: its status, and what it taught about the server's authentication.
  void finish(void* handle, Transfer& transfer);

  void* curl_ = nullptr;
  void* multi_ = nullptr;
  std::vector<void*> spareHandles_;  // handles of requestAll, kept with their connections
  std::string user_;
  std::string password_;
  bool insecure_ = false;
  std::string basicOrigin_;  // the server known to take Basic authentication alone
};

// What an HTTP status means to a user, for messages ("HTTP 401: wrong user name or password").
std::string describeHttpStatus(long status);
