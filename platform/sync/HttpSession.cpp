#include "platform/sync/HttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace {

std::once_flag curlInit;

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

HttpSession::HttpSession(std::string user, std::string password, bool insecure)
    : user_(std::move(user)), password_(std::move(password)), insecure_(insecure) {
  std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_ = curl_easy_init();
}

HttpSession::~HttpSession() {
  if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
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

bool HttpSession::request(const std::string& method, const std::string& url, const std::vector<std::string>& headers,
                          const std::string& body, Response& response, std::string* error) {
  auto* curl = static_cast<CURL*>(curl_);
  if (!curl) {
    if (error) *error = "cannot start an HTTP session";
    return false;
  }
  std::string target = url;
  for (int redirects = 0; redirects <= 5; ++redirects) {
    response = Response{};
    response.url = target;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
    // A stalled answer (no byte for five minutes) is a timeout; a server working out a large answer
    // is not.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 300L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    if (!user_.empty()) {
      curl_easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
      curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
      curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
    }
    if (insecure_) {
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (method == "HEAD") curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!body.empty() || method == "PUT" || method == "PROPFIND" || method == "REPORT") {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_slist* list = nullptr;
    for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
    CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(list);
    if (rc != CURLE_OK) {
      if (error) *error = target + ": " + curl_easy_strerror(rc);
      return false;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
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
