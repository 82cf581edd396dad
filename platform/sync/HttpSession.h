#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// HTTP(S) connections to one server, kept alive between requests (libcurl). The credentials go
// only to one origin (scheme, host and port): the one given, else that of the first request; a
// request anywhere else goes without them, and redirects are followed only within the origin.
// Certificates are verified unless `insecure` was asked for. Once a server has shown that it takes
// Basic authentication only, later requests to it carry the credentials at once instead of each
// being sent twice (first without them, to learn the scheme).
// No server can hold a request forever or fill the memory: see Limits.
class HttpSession {
 public:
  struct Limits {
    long connectSeconds = 15;
    // A transfer slower than this for that long is given up.
    long lowSpeedBytes = 100;
    long lowSpeedSeconds = 60;
    // Each request may take baseSeconds, and one second more for each minimumRate bytes it sent or
    // received: a large answer coming at a fair speed is never cut, a trickle is.
    long baseSeconds = 120;
    long minimumRate = 10 * 1024;
    // No answer, as sent or once decompressed, may be larger.
    std::size_t maxAnswerBytes = std::size_t{64} << 20;
  };

  struct Response {
    long status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string url;  // where the answer came from, after redirects
  };

  HttpSession(std::string user, std::string password, bool insecure, std::string credentialOrigin = {});
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

  void setLimits(const Limits& limits) { limits_ = limits; }
  const Limits& limits() const { return limits_; }

  // "https://host:port" of a URL, in one form: scheme and host in lower case, the scheme's default
  // port left out, no user or password; empty when the URL is not http(s)://.
  static std::string originOf(const std::string& url);
  // The URL an href names, seen from base (RFC 3986, 5.2): absolute, a path, or relative, with its
  // dot segments removed.
  static std::string resolve(const std::string& base, const std::string& href);
  // The path of a URL (from the slash after the host, without query or fragment).
  static std::string pathOf(const std::string& url);
  // A path with its "." and ".." segments taken out (RFC 3986, 5.2.4).
  static std::string withoutDotSegments(const std::string& path);
  // A URL without the user and password written in it ("http://user:pw@host/" -> "http://host/"),
  // and those two, percent-decoded.
  static std::string withoutUserInfo(const std::string& url, std::string* user = nullptr,
                                     std::string* password = nullptr);

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
  std::string credentialOrigin_;  // the one origin the credentials go to
  Limits limits_;
  std::string basicOrigin_;  // the server known to take Basic authentication alone
};

// What an HTTP status means to a user, for messages ("HTTP 401: wrong user name or password").
std::string describeHttpStatus(long status);
