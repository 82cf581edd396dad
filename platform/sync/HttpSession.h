#pragma once

#include <map>
#include <string>
#include <vector>

// One HTTP(S) connection to one server, kept alive between requests (libcurl). Redirects are
// followed only to the same scheme, host and port, so credentials never go to another host;
// certificates are verified unless `insecure` was asked for.
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

  // "https://host:port" of a URL, and a URL made of a base and an href (absolute, or a path).
  static std::string originOf(const std::string& url);
  static std::string resolve(const std::string& base, const std::string& href);
  static std::string pathOf(const std::string& url);

 private:
  void* curl_ = nullptr;
  std::string user_;
  std::string password_;
  bool insecure_ = false;
};

// What an HTTP status means to a user, for messages ("HTTP 401: wrong user name or password").
std::string describeHttpStatus(long status);
