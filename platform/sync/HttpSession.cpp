#include "platform/sync/HttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

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

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Where the scheme of a URL ends ("http" of "http://..."), or npos when it has none (RFC 3986, 3.1).
std::size_t schemeEnd(const std::string& url) {
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return std::string::npos;
  for (std::size_t i = 1; i < url.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (c == ':') return i;
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return std::string::npos;
  }
  return std::string::npos;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string seconds(long count) {
  return std::to_string(count) + (count == 1 ? " second" : " s");
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
    case 409:
      return text + ": the server holds a card in conflict with this one (another card of the same unique id)";
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
  Limits limits;
  std::chrono::steady_clock::time_point started;
  std::size_t received = 0;  // bytes of the answer's body, decompressed
  std::string stopped;       // why the transfer was given up before its end
  ~Transfer() {
    if (headers) libcurl().slist_free_all(headers);
  }

  static size_t collectBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    transfer->received += size * count;
    if (transfer->received > transfer->limits.maxAnswerBytes) {
      transfer->stopped = "the server's answer is larger than " +
                          std::to_string(transfer->limits.maxAnswerBytes >> 20) + " MB, which is refused";
      return 0;
    }
    transfer->response->body.append(data, size * count);
    return size * count;
  }
  // The overall limit: the time allowed grows with what went either way.
  static int progress(void* user, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t uploadTotal,
                      curl_off_t uploaded) {
    (void)downloadTotal, (void)uploadTotal;
    auto* transfer = static_cast<Transfer*>(user);
    const Limits& limits = transfer->limits;
    auto moved = static_cast<long>((downloaded + uploaded) / std::max<long>(limits.minimumRate, 1));
    auto allowed = std::chrono::seconds(limits.baseSeconds + moved);
    if (std::chrono::steady_clock::now() - transfer->started <= allowed) return 0;
    transfer->stopped = "the server took longer than " + seconds(limits.baseSeconds + moved) + " for an answer of " +
                        std::to_string(downloaded) + " bytes";
    return 1;
  }
  // What went wrong, for a transfer that ended with rc.
  std::string failure(CURLcode rc, CURL* curl) const {
    if (!stopped.empty()) return stopped;
    if (rc == CURLE_FILESIZE_EXCEEDED)
      return "the server's answer is larger than " + std::to_string(limits.maxAnswerBytes >> 20) +
             " MB, which is refused";
    if (rc == CURLE_OPERATION_TIMEDOUT) {
      curl_off_t connected = 0;
      libcurl().easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
      if (connected == 0) return "no connection to the server within " + seconds(limits.connectSeconds);
      if (received == 0 && response->status == 0)
        return "the server sent nothing for " + seconds(limits.lowSpeedSeconds);
      return "the server sent less than " + std::to_string(limits.lowSpeedBytes) + " bytes a second for " +
             seconds(limits.lowSpeedSeconds);
    }
    return libcurl().easy_strerror(rc);
  }
};

HttpSession::HttpSession(std::string user, std::string password, bool insecure, std::string credentialOrigin)
    : user_(std::move(user)),
      password_(std::move(password)),
      insecure_(insecure),
      credentialOrigin_(originOf(credentialOrigin)) {
  if (libcurl().error.empty()) curl_ = libcurl().easy_init();
}

HttpSession::~HttpSession() {
  for (void* handle : spareHandles_) libcurl().easy_cleanup(static_cast<CURL*>(handle));
  if (multi_) libcurl().multi_cleanup(static_cast<CURLM*>(multi_));
  if (curl_) libcurl().easy_cleanup(static_cast<CURL*>(curl_));
}

std::string HttpSession::withoutUserInfo(const std::string& url, std::string* user, std::string* password) {
  auto scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  auto hostStart = scheme + 3;
  auto authorityEnd = url.find_first_of("/?#", hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  auto at = url.rfind('@', authorityEnd - 1);
  if (at == std::string::npos || at < hostStart) return url;
  std::string info = url.substr(hostStart, at - hostStart);
  auto colon = info.find(':');
  if (user) *user = percentDecoded(info.substr(0, colon));
  if (password) *password = colon == std::string::npos ? std::string() : percentDecoded(info.substr(colon + 1));
  return url.substr(0, hostStart) + url.substr(at + 1);
}

std::string HttpSession::originOf(const std::string& address) {
  std::string url = withoutUserInfo(address);
  auto scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  std::string name = lowered(url.substr(0, scheme));
  if (name != "http" && name != "https") return {};
  auto end = url.find_first_of("/?#", scheme + 3);
  std::string authority =
      lowered(url.substr(scheme + 3, end == std::string::npos ? std::string::npos : end - scheme - 3));
  // The port follows the last colon after the host (an IPv6 host is in brackets).
  auto bracket = authority.rfind(']');
  auto colon = authority.rfind(':');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    std::string port = authority.substr(colon + 1);
    if (port.empty() || (name == "http" && port == "80") || (name == "https" && port == "443")) authority.erase(colon);
  }
  if (authority.empty()) return {};
  return name + "://" + authority;
}

std::string HttpSession::pathOf(const std::string& url) {
  auto scheme = url.find("://");
  std::size_t start = 0;
  if (scheme != std::string::npos) {
    start = url.find_first_of("/?#", scheme + 3);
    if (start == std::string::npos || url[start] != '/') return "/";
  }
  auto end = url.find_first_of("?#", start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string HttpSession::withoutDotSegments(const std::string& path) {
  std::vector<std::string> segments;
  std::size_t start = 0;
  bool absolute = !path.empty() && path[0] == '/';
  if (absolute) start = 1;
  bool endsInDirectory = false;
  while (start <= path.size()) {
    auto slash = path.find('/', start);
    std::string segment = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    bool last = slash == std::string::npos;
    if (segment == ".") {
      endsInDirectory = last;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      endsInDirectory = last;
    } else {
      segments.push_back(segment);
      endsInDirectory = false;
    }
    if (last) break;
    start = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < segments.size(); ++i) out += (i ? "/" : "") + segments[i];
  if (endsInDirectory && !out.empty() && out.back() != '/') out += '/';
  return out;
}

std::string HttpSession::resolve(const std::string& base, const std::string& href) {
  std::string reference = href.substr(0, href.find('#'));
  auto splitQuery = [](const std::string& url, std::string& rest) {
    auto query = url.find('?');
    rest = query == std::string::npos ? std::string() : url.substr(query);
    return url.substr(0, query);
  };
  std::string query;
  if (schemeEnd(reference) != std::string::npos) {
    // An absolute URL: its path is taken as it is but for its dot segments.
    if (reference.find("://") == std::string::npos) return reference;  // file:, mailto:... named as they are
    std::string path = pathOf(reference);
    std::string withQuery = reference.substr(reference.find("://") + 3);
    auto pathAt = withQuery.find_first_of("/?#");
    std::string head = reference.substr(0, reference.find("://") + 3) + withQuery.substr(0, pathAt);
    splitQuery(reference, query);
    return head + withoutDotSegments(path) + query;
  }
  std::string baseOrigin = base.substr(0, base.find("://") == std::string::npos ? 0 : base.find("://") + 3);
  if (reference.rfind("//", 0) == 0) {
    // A network-path reference: the base's scheme, another authority.
    return resolve(base, baseOrigin.substr(0, baseOrigin.size() - 3) + ":" + reference);
  }
  std::string origin = withoutUserInfo(base);
  auto authorityEnd = origin.find("://") == std::string::npos ? 0 : origin.find_first_of("/?#", origin.find("://") + 3);
  origin = origin.substr(0, authorityEnd);
  std::string path = splitQuery(reference, query);
  if (path.empty()) {
    path = pathOf(base);
    if (query.empty()) splitQuery(base.substr(0, base.find('#')), query);
  } else if (path[0] != '/') {
    std::string basePath = pathOf(base);
    path = basePath.substr(0, basePath.rfind('/') + 1) + path;
  }
  return origin + withoutDotSegments(path) + query;
}

void HttpSession::prepare(void* handle, const std::string& method, const std::string& target,
                          const std::vector<std::string>& headers, const std::string& body, Transfer& transfer) {
  auto* curl = static_cast<CURL*>(handle);
  *transfer.response = Response{};
  transfer.response->url = target;
  transfer.target = target;
  transfer.limits = limits_;
  transfer.started = std::chrono::steady_clock::now();
  transfer.received = 0;
  transfer.stopped.clear();
  libcurl().easy_reset(curl);
  libcurl().easy_setopt(curl, CURLOPT_URL, target.c_str());
  libcurl().easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  libcurl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  libcurl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits_.connectSeconds);
  libcurl().easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytes);
  libcurl().easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits_.lowSpeedSeconds);
  libcurl().easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxAnswerBytes));
  libcurl().easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  libcurl().easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::progress);
  libcurl().easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  libcurl().easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  libcurl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  libcurl().easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  libcurl().easy_setopt(curl, CURLOPT_USERAGENT, "Rolvane/" ROLVANE_VERSION);
  // The credentials go to the one origin they are for, never to a host an answer names.
  if (credentialOrigin_.empty()) credentialOrigin_ = originOf(target);
  if (!user_.empty() && originOf(target) == credentialOrigin_) {
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
  libcurl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::collectBody);
  libcurl().easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  libcurl().easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  libcurl().easy_setopt(curl, CURLOPT_HEADERDATA, &transfer.response->headers);
}

void HttpSession::finish(void* handle, Transfer& transfer) {
  auto* curl = static_cast<CURL*>(handle);
  libcurl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &transfer.response->status);
  long offered = 0;
  libcurl().easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &offered);
  if (!user_.empty() && transfer.response->status != 401 && offered == static_cast<long>(CURLAUTH_BASIC) &&
      originOf(transfer.target) == credentialOrigin_)
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
      if (error) *error = target + ": " + transfer.failure(rc, curl);
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
        errors[transfer.index] = transfer.target + ": " + transfer.failure(rc, handle);
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
