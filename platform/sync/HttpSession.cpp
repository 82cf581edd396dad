#include "platform/sync/HttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "platform/sync/LoadedLibrary.h"

namespace {

// libcurl, loaded when the first session starts (LoadedLibrary).
struct Curl {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_reset) easy_reset;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_easy_perform) easy_perform;
  decltype(&curl_easy_strerror) easy_strerror;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_info_read) multi_info_read;
  decltype(&curl_multi_poll) multi_poll;
  std::string error;  // why it cannot be used; empty when it can
};

// The loaded library, initialised once; error says why it cannot be used.
const Curl& libcurl() {
  static const Curl loaded = [] {
    static LoadedLibrary library("libcurl.so.4");
    Curl c{};
    library.find(c.global_init, "curl_global_init");
    library.find(c.easy_init, "curl_easy_init");
    library.find(c.easy_cleanup, "curl_easy_cleanup");
    library.find(c.easy_reset, "curl_easy_reset");
    library.find(c.easy_setopt, "curl_easy_setopt");
    library.find(c.easy_getinfo, "curl_easy_getinfo");
    library.find(c.easy_perform, "curl_easy_perform");
    library.find(c.easy_strerror, "curl_easy_strerror");
    library.find(c.slist_append, "curl_slist_append");
    library.find(c.slist_free_all, "curl_slist_free_all");
    library.find(c.multi_init, "curl_multi_init");
    library.find(c.multi_cleanup, "curl_multi_cleanup");
    library.find(c.multi_add_handle, "curl_multi_add_handle");
    library.find(c.multi_remove_handle, "curl_multi_remove_handle");
    library.find(c.multi_perform, "curl_multi_perform");
    library.find(c.multi_info_read, "curl_multi_info_read");
    library.find(c.multi_poll, "curl_multi_poll");
    c.error = library.error();
    if (c.error.empty() && c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) c.error = "libcurl cannot start";
    return c;
  }();
  return loaded;
}

// Why no HTTP session could be started.
std::string sessionFailure() {
  const std::string& why = libcurl().error;
  return why.empty() ? "cannot start an HTTP session" : "cannot start an HTTP session: " + why;
}

size_t collectBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
  auto* headers = static_cast<std::map<std::string, std::string>*>(user);
  std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    headers->clear();  // the headers of a new answer (after 100 Continue, say)
    return size * count;
  }
  auto colon = line.find(':');
  if (colon == std::string::npos) return size * count;
  std::string name = line.substr(0, colon);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  std::string value = line.substr(colon + 1);
  auto first = value.find_first_not_of(" \t");
  auto last = value.find_last_not_of(" \t\r\n");
  (*headers)[name] = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
  return size * count;
}

}  // namespace

std::string describeHttpStatus(long status) {
  std::string text = "HTTP " + std::to_string(status);
  switch (status) {
    case 401:
      return text + ": wrong user name or password";
    case 403:
      return text + ": the server does not allow this";
    case 404:
      return text + ": no such address book or card on the server";
    case 405:
      return text + ": the server does not allow this method here";
    case 412:
      return text + ": the card was changed on the server meanwhile";
    case 507:
      return text + ": the server has no room left";
    default:
      if (status >= 500) return text + ": the server failed";
      return text;
  }
}

struct HttpSession::Transfer {
  Response* response = nullptr;
  curl_slist* headers = nullptr;
  std::string target;
  std::size_t index = 0;
  ~Transfer() {
    if (headers) libcurl().slist_free_all(headers);
  }
};

HttpSession::HttpSession(std::string user, std::string password, bool insecure)
    : user_(std::move(user)), password_(std::move(password)), insecure_(insecure) {
  if (libcurl().error.empty()) curl_ = libcurl().easy_init();
}

HttpSession::~HttpSession() {
  for (void* handle : spareHandles_) libcurl().easy_cleanup(static_cast<CURL*>(handle));
  if (multi_) libcurl().multi_cleanup(static_cast<CURLM*>(multi_));
  if (curl_) libcurl().easy_cleanup(static_cast<CURL*>(curl_));
}

std::string HttpSession::originOf(const std::string& url) {
  auto scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  auto slash = url.find('/', scheme + 3);
  return slash == std::string::npos ? url : url.substr(0, slash);
}

std::string HttpSession::pathOf(const std::string& url) {
  auto scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  auto slash = url.find('/', scheme + 3);
  return slash == std::string::npos ? "/" : url.substr(slash);
}

std::string HttpSession::resolve(const std::string& base, const std::string& href) {
  if (href.find("://") != std::string::npos) return href;
  if (!href.empty() && href[0] == '/') return originOf(base) + href;
  std::string dir = base.substr(0, base.rfind('/') + 1);
  return dir + href;
}

void HttpSession::prepare(void* handle, const std::string& method, const std::string& target,
                          const std::vector<std::string>& headers, const std::string& body, Transfer& transfer) {
  auto* curl = static_cast<CURL*>(handle);
  *transfer.response = Response{};
  transfer.response->url = target;
  transfer.target = target;
  libcurl().easy_reset(curl);
  libcurl().easy_setopt(curl, CURLOPT_URL, target.c_str());
  libcurl().easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  libcurl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  libcurl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
  // A stalled answer (no byte for five minutes) is a timeout; a server working out a large answer
  // is not.
  libcurl().easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  libcurl().easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 300L);
  libcurl().easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  libcurl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  libcurl().easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  if (!user_.empty()) {
    libcurl().easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
    libcurl().easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
    // With several schemes allowed, libcurl first asks without credentials to learn the server's.
    bool basic = !basicOrigin_.empty() && originOf(target) == basicOrigin_;
    libcurl().easy_setopt(curl, CURLOPT_HTTPAUTH, basic ? CURLAUTH_BASIC : CURLAUTH_BASIC | CURLAUTH_DIGEST);
  }
  if (insecure_) {
    libcurl().easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    libcurl().easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (method == "HEAD") libcurl().easy_setopt(curl, CURLOPT_NOBODY, 1L);
  if (!body.empty() || method == "PUT" || method == "PROPFIND" || method == "REPORT") {
    libcurl().easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    libcurl().easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  libcurl().slist_free_all(transfer.headers);
  transfer.headers = nullptr;
  for (const auto& header : headers) transfer.headers = libcurl().slist_append(transfer.headers, header.c_str());
  transfer.headers = libcurl().slist_append(transfer.headers, "Expect:");
  libcurl().easy_setopt(curl, CURLOPT_HTTPHEADER, transfer.headers);
  libcurl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
  libcurl().easy_setopt(curl, CURLOPT_WRITEDATA, &transfer.response->body);
  libcurl().easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  libcurl().easy_setopt(curl, CURLOPT_HEADERDATA, &transfer.response->headers);
}

void HttpSession::finish(void* handle, Transfer& transfer) {
  auto* curl = static_cast<CURL*>(handle);
  libcurl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &transfer.response->status);
  long offered = 0;
  libcurl().easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &offered);
  if (!user_.empty() && transfer.response->status != 401 && offered == static_cast<long>(CURLAUTH_BASIC))
    basicOrigin_ = originOf(transfer.target);
}

bool HttpSession::request(const std::string& method, const std::string& url, const std::vector<std::string>& headers,
                          const std::string& body, Response& response, std::string* error) {
  auto* curl = static_cast<CURL*>(curl_);
  if (!curl) {
    if (error) *error = sessionFailure();
    return false;
  }
  std::string target = url;
  for (int redirects = 0; redirects <= 5; ++redirects) {
    Transfer transfer;
    transfer.response = &response;
    prepare(curl, method, target, headers, body, transfer);
    CURLcode rc = libcurl().easy_perform(curl);
    if (rc != CURLE_OK) {
      if (error) *error = target + ": " + libcurl().easy_strerror(rc);
      return false;
    }
    finish(curl, transfer);
    bool redirect = response.status == 301 || response.status == 302 || response.status == 303 ||
                    response.status == 307 || response.status == 308;
    if (!redirect || !response.headers.count("location")) return true;
    std::string next = resolve(target, response.headers["location"]);
    if (originOf(next) != originOf(target)) {
      if (error) *error = target + ": the server sends to another host (" + originOf(next) + "), which is not followed";
      return false;
    }
    target = next;
  }
  if (error) *error = url + ": too many redirects";
  return false;
}

void HttpSession::requestAll(const std::vector<Request>& requests, std::size_t inFlight,
                             std::vector<Response>& responses, std::vector<std::string>& errors) {
  responses.assign(requests.size(), Response{});
  errors.assign(requests.size(), std::string());
  if (!multi_ && libcurl().error.empty()) multi_ = libcurl().multi_init();
  auto* multi = static_cast<CURLM*>(multi_);
  if (!multi) {
    for (std::size_t i = 0; i < requests.size(); ++i) errors[i] = requests[i].url + ": " + sessionFailure();
    return;
  }
  inFlight = std::max<std::size_t>(inFlight, 1);
  std::vector<std::unique_ptr<Transfer>> transfers(requests.size());
  std::map<CURL*, Transfer*> running;
  std::vector<std::size_t> redirected;
  std::size_t next = 0;
  auto start = [&] {
    while (next < requests.size() && running.size() < inFlight) {
      CURL* handle = nullptr;
      if (!spareHandles_.empty()) {
        handle = static_cast<CURL*>(spareHandles_.back());
        spareHandles_.pop_back();
      } else {
        handle = libcurl().easy_init();
      }
      const Request& request = requests[next];
      auto& transfer = transfers[next];
      transfer = std::make_unique<Transfer>();
      transfer->response = &responses[next];
      transfer->index = next;
      ++next;
      if (!handle) {
        errors[transfer->index] = request.url + ": cannot start an HTTP session";
        continue;
      }
      prepare(handle, request.method, request.url, request.headers, request.body, *transfer);
      if (libcurl().multi_add_handle(multi, handle) != CURLM_OK) {
        errors[transfer->index] = request.url + ": cannot start an HTTP session";
        spareHandles_.push_back(handle);
        continue;
      }
      running[handle] = transfer.get();
    }
  };
  start();
  while (!running.empty()) {
    int active = 0;
    if (libcurl().multi_perform(multi, &active) != CURLM_OK) break;
    int left = 0;
    while (CURLMsg* message = libcurl().multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* handle = message->easy_handle;
      CURLcode rc = message->data.result;
      Transfer& transfer = *running.at(handle);
      running.erase(handle);
      libcurl().multi_remove_handle(multi, handle);
      if (rc != CURLE_OK) {
        errors[transfer.index] = transfer.target + ": " + libcurl().easy_strerror(rc);
      } else {
        finish(handle, transfer);
        long status = transfer.response->status;
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308)
          redirected.push_back(transfer.index);
      }
      spareHandles_.push_back(handle);
    }
    start();
    if (!running.empty()) libcurl().multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  // Whatever the multi handle could no longer drive gets no answer.
  for (auto& [handle, transfer] : running) {
    libcurl().multi_remove_handle(multi, handle);
    errors[transfer->index] = transfer->target + ": the HTTP transfer failed";
    spareHandles_.push_back(handle);
  }
  // A redirect is followed one request at a time, with the same care as any other.
  for (std::size_t index : redirected) {
    const Request& asked = requests[index];
    request(asked.method, asked.url, asked.headers, asked.body, responses[index], &errors[index]);
  }
}
