#include "platform/sync/CardDavCollection.h"

#include <pugixml.hpp>

#include <cstring>
#include <functional>
#include <set>
#include <sstream>

#include "platform/sync/HttpSession.h"

namespace {

constexpr std::size_t kMultigetBatch = 250;
// Writes in flight at once: enough to keep a server busy across the network's round trips, few
// enough not to crowd it.
constexpr std::size_t kWritesInFlight = 4;

// WebDAV answers are namespaced XML; elements are matched by local name (DAV: and CardDAV names do
// not collide among those read here).
const char* localName(const pugi::xml_node& node) {
  const char* name = node.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

pugi::xml_node child(const pugi::xml_node& node, const char* name) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && std::strcmp(localName(c), name) == 0) return c;
  return {};
}

std::vector<pugi::xml_node> children(const pugi::xml_node& node, const char* name) {
  std::vector<pugi::xml_node> found;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && std::strcmp(localName(c), name) == 0) found.push_back(c);
  return found;
}

std::string trimmed(std::string text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// One <response> of a multistatus: its href and the properties the server found (status 200).
struct DavResponse {
  std::string href;
  long status = 0;  // the response's own status, when it gives one instead of propstats
  pugi::xml_node prop;
};

long statusCode(const pugi::xml_node& status) {
  std::istringstream line(status.child_value());
  std::string version;
  long code = 0;
  line >> version >> code;
  return code;
}

std::string percentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool parseMultistatus(const std::string& body, const std::string& where, pugi::xml_document& document,
                      std::vector<DavResponse>& responses, std::string* error) {
  if (!document.load_buffer(body.data(), body.size())) {
    if (error) *error = where + ": the server's answer is not valid WebDAV XML";
    return false;
  }
  pugi::xml_node root = document.document_element();
  if (std::strcmp(localName(root), "multistatus") != 0) {
    if (error) *error = where + ": the server's answer is not a WebDAV multistatus";
    return false;
  }
  for (const auto& response : children(root, "response")) {
    DavResponse entry;
    entry.href = trimmed(child(response, "href").child_value());
    if (auto status = child(response, "status")) entry.status = statusCode(status);
    for (const auto& propstat : children(response, "propstat")) {
      if (statusCode(child(propstat, "status")) / 100 == 2) entry.prop = child(propstat, "prop");
    }
    responses.push_back(entry);
  }
  return true;
}

std::string xmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const std::vector<std::string> kXmlHeaders = {"Content-Type: application/xml; charset=utf-8"};

bool propfind(HttpSession& http, const std::string& url, int depth, const std::string& props,
              pugi::xml_document& document, std::vector<DavResponse>& responses, std::string* error,
              HttpSession::Response* raw = nullptr) {
  std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<d:propfind xmlns:d=\"DAV:\" xmlns:card=\"urn:ietf:params:xml:ns:carddav\"><d:prop>" +
      props + "</d:prop></d:propfind>";
  std::vector<std::string> headers = kXmlHeaders;
  headers.push_back("Depth: " + std::to_string(depth));
  HttpSession::Response response;
  if (!http.request("PROPFIND", url, headers, body, response, error)) return false;
  if (raw) *raw = response;
  if (response.status != 207) {
    if (error) *error = url + ": " + describeHttpStatus(response.status);
    return false;
  }
  return parseMultistatus(response.body, url, document, responses, error);
}

bool isAddressBook(const pugi::xml_node& prop) {
  return child(child(prop, "resourcetype"), "addressbook");
}
bool isCollection(const pugi::xml_node& prop) {
  return child(child(prop, "resourcetype"), "collection");
}

std::string normalPath(std::string path) {
  path = HttpSession::withoutDotSegments(percentDecode(path));
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

CardDavCollection::CardDavCollection(CardDavAccount account) : account_(std::move(account)) {
  account_.url = HttpSession::withoutUserInfo(account_.url);
  if (account_.url.empty() || account_.url.back() != '/') account_.url += '/';
  origin_ = HttpSession::originOf(account_.url);
  collectionPath_ = normalPath(HttpSession::pathOf(account_.url));
  http_ = std::make_unique<HttpSession>(account_.user, account_.password, account_.insecure, origin_);
}

void CardDavCollection::setLimits(const HttpSession::Limits& limits) {
  http_->setLimits(limits);
}

bool CardDavCollection::cardUrl(const std::string& href, std::string& url, std::string* error) const {
  auto refuse = [&](const std::string& why) {
    if (error) *error = "the server names a card \"" + href + "\" " + why + "; it is skipped and nothing is sent there";
    return false;
  };
  if (href.empty()) return refuse("without an address");
  for (unsigned char c : href)
    if (c < 0x20 || c == 0x7f) return refuse("with a control character in its address");
  std::string resolved = HttpSession::resolve(account_.url, href);
  if (origin_.empty() || HttpSession::originOf(resolved) != origin_) return refuse("on another server than " + origin_);
  std::string path = HttpSession::pathOf(resolved);
  std::string decoded = HttpSession::withoutDotSegments(percentDecode(path));
  for (unsigned char c : decoded)
    if (c < 0x20 || c == 0x7f) return refuse("with a control character in its address");
  if (decoded.size() <= collectionPath_.size() || decoded.compare(0, collectionPath_.size(), collectionPath_) != 0 ||
      decoded.back() == '/')
    return refuse("outside the address book " + account_.url);
  url = origin_ + path;
  return true;
}

CardDavCollection::~CardDavCollection() = default;

std::string CardDavCollection::describe() const {
  return account_.url;
}

bool CardDavCollection::discover(const CardDavAccount& account, std::vector<CardDavAddressBook>& books,
                                 std::string* error) {
  HttpSession http(account.user, account.password, account.insecure, HttpSession::withoutUserInfo(account.url));
  books.clear();
  const std::string props = "<d:resourcetype/><d:displayname/><d:current-user-principal/><card:addressbook-home-set/>";

  auto addBooksOf = [&](const std::string& url, std::string* why) {
    pugi::xml_document document;
    std::vector<DavResponse> responses;
    if (!propfind(http, url, 1, "<d:resourcetype/><d:displayname/>", document, responses, why)) return false;
    for (const auto& response : responses) {
      if (!response.prop || !isAddressBook(response.prop)) continue;
      std::string bookUrl = HttpSession::resolve(url, response.href);
      // An address book the server names on another host is not offered: the password is not for it.
      if (HttpSession::originOf(bookUrl) != HttpSession::originOf(account.url)) continue;
      books.push_back({bookUrl, trimmed(child(response.prop, "displayname").child_value())});
    }
    return true;
  };

  // The URL itself may be the address book, or a principal, or the home of the address books.
  std::string url = account.url;
  pugi::xml_document document;
  std::vector<DavResponse> responses;
  std::string firstError;
  bool answered = propfind(http, url, 0, props, document, responses, &firstError);
  if (!answered || responses.empty() || !responses.front().prop ||
      (!isAddressBook(responses.front().prop) && !child(responses.front().prop, "current-user-principal") &&
       !child(responses.front().prop, "addressbook-home-set"))) {
    // The server's address: ask the well-known place (RFC 6764).
    std::string wellKnown = HttpSession::originOf(account.url) + "/.well-known/carddav";
    std::string wellKnownError;
    document.reset();
    responses.clear();
    if (!propfind(http, wellKnown, 0, props, document, responses, &wellKnownError)) {
      if (error) *error = firstError.empty() ? wellKnownError : firstError;
      return false;
    }
    url = wellKnown;
  }
  if (responses.empty() || !responses.front().prop) {
    if (error) *error = account.url + ": the server gave no address book";
    return false;
  }
  pugi::xml_node prop = responses.front().prop;
  if (isAddressBook(prop)) {
    std::string bookUrl =
        HttpSession::resolve(url, responses.front().href.empty() ? HttpSession::pathOf(url) : responses.front().href);
    if (HttpSession::originOf(bookUrl) != HttpSession::originOf(account.url)) {
      if (error) *error = account.url + ": the server names an address book on another host (" + bookUrl + ")";
      return false;
    }
    books.push_back({bookUrl, trimmed(child(prop, "displayname").child_value())});
    return true;
  }
  std::string home = trimmed(child(child(prop, "addressbook-home-set"), "href").child_value());
  if (home.empty()) {
    std::string principal = trimmed(child(child(prop, "current-user-principal"), "href").child_value());
    if (principal.empty()) {
      if (error) *error = account.url + ": the server names no address book home for this user";
      return false;
    }
    pugi::xml_document principalDocument;
    std::vector<DavResponse> principalResponses;
    std::string principalUrl = HttpSession::resolve(url, principal);
    if (!propfind(http, principalUrl, 0, "<card:addressbook-home-set/>", principalDocument, principalResponses, error))
      return false;
    if (!principalResponses.empty() && principalResponses.front().prop)
      home = trimmed(child(child(principalResponses.front().prop, "addressbook-home-set"), "href").child_value());
    if (home.empty()) {
      if (error) *error = principalUrl + ": the server names no address book home for this user";
      return false;
    }
  }
  if (!addBooksOf(HttpSession::resolve(url, home), error)) return false;
  if (books.empty() && error) *error = account.url + ": the server holds no address book for this user";
  return !books.empty();
}

bool CardDavCollection::list(std::map<std::string, std::string>& etagByHref, std::string* error) {
  etagByHref.clear();
  pugi::xml_document document;
  std::vector<DavResponse> responses;
  if (!propfind(*http_, account_.url, 1, "<d:resourcetype/><d:getetag/>", document, responses, error)) return false;
  bool sawCollection = false;
  for (const auto& response : responses) {
    std::string path = percentDecode(HttpSession::pathOf(HttpSession::resolve(account_.url, response.href)));
    if (normalPath(path) == collectionPath_) {
      sawCollection = response.prop && isAddressBook(response.prop);
      continue;
    }
    if (!response.prop || isCollection(response.prop)) continue;
    std::string url, why;
    if (!cardUrl(response.href, url, &why)) {
      skip(response.href, why);
      continue;
    }
    std::string etag = trimmed(child(response.prop, "getetag").child_value());
    if (!etag.empty()) etagByHref[response.href] = etag;
  }
  if (!sawCollection) {
    if (error) *error = account_.url + ": not a CardDAV address book";
    return false;
  }
  return true;
}

CardCollection::ChangesStatus CardDavCollection::changesSince(const std::string& token,
                                                              std::map<std::string, std::string>& etagByHref,
                                                              std::vector<std::string>& removedHrefs,
                                                              std::string& newToken, std::string* error) {
  etagByHref.clear();
  removedHrefs.clear();
  std::string from = token;
  // A server may answer in parts: the collection's own response with 507 says there is more, to
  // be asked for with the token of the part.
  for (int part = 0; part < 10000; ++part) {
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>" +
        xmlEscape(from) +
        "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
    std::vector<std::string> headers = kXmlHeaders;
    headers.push_back("Depth: 0");
    HttpSession::Response response;
    if (!http_->request("REPORT", account_.url, headers, body, response, error)) return ChangesStatus::Failed;
    if (response.status == 403 || response.status == 409) {
      // The precondition valid-sync-token failed (the server forgot the token), or the server does
      // not do sync-collection on this collection.
      if (response.body.find("valid-sync-token") != std::string::npos) return ChangesStatus::TokenExpired;
      return ChangesStatus::Unsupported;
    }
    if (response.status == 400 || response.status == 404 || response.status == 405 || response.status == 415 ||
        response.status == 501)
      return ChangesStatus::Unsupported;
    if (response.status != 207) {
      if (error) *error = account_.url + ": " + describeHttpStatus(response.status);
      return ChangesStatus::Failed;
    }
    pugi::xml_document document;
    std::vector<DavResponse> responses;
    if (!parseMultistatus(response.body, account_.url, document, responses, error)) return ChangesStatus::Failed;
    const std::string next = trimmed(child(document.document_element(), "sync-token").child_value());
    if (next.empty()) return ChangesStatus::Unsupported;
    bool more = false;
    for (const auto& entry : responses) {
      std::string path = percentDecode(HttpSession::pathOf(HttpSession::resolve(account_.url, entry.href)));
      if (normalPath(path) == collectionPath_) {
        more = more || entry.status == 507;
        continue;
      }
      std::string url, why;
      if (!cardUrl(entry.href, url, &why)) {
        skip(entry.href, why);
        continue;
      }
      if (entry.status == 404) {
        etagByHref.erase(entry.href);
        removedHrefs.push_back(entry.href);
        continue;
      }
      if (!entry.prop || isCollection(entry.prop)) continue;
      std::string etag = trimmed(child(entry.prop, "getetag").child_value());
      if (etag.empty()) continue;
      std::erase(removedHrefs, entry.href);
      etagByHref[entry.href] = etag;
    }
    from = next;
    if (!more) {
      newToken = next;
      return ChangesStatus::Done;
    }
  }
  if (error) *error = account_.url + ": the server's list of changes does not end";
  return ChangesStatus::Failed;
}

bool CardDavCollection::fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
                              std::string* error) {
  std::vector<std::string> asked;
  for (const auto& href : hrefs) {
    std::string url, why;
    if (cardUrl(href, url, &why))
      asked.push_back(href);
    else
      skip(href, why);
  }
  for (std::size_t start = 0; start < asked.size(); start += kMultigetBatch) {
    std::vector<std::string> batch(
        asked.begin() + static_cast<std::ptrdiff_t>(start),
        asked.begin() + static_cast<std::ptrdiff_t>(std::min(asked.size(), start + kMultigetBatch)));
    if (!fetchBatch(batch, cardByHref, error)) return false;
  }
  return true;
}

bool CardDavCollection::fetchBatch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
                                   std::string* error) {
  if (hrefs.empty()) return true;
  std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<card:addressbook-multiget xmlns:d=\"DAV:\" xmlns:card=\"urn:ietf:params:xml:ns:carddav\">"
      "<d:prop><d:getetag/><card:address-data/></d:prop>";
  std::set<std::string> asked;
  for (const auto& href : hrefs) {
    body += "<d:href>" + xmlEscape(href) + "</d:href>";
    asked.insert(href);
  }
  body += "</card:addressbook-multiget>";
  std::vector<std::string> headers = kXmlHeaders;
  headers.push_back("Depth: 1");
  HttpSession::Response response;
  if (!http_->request("REPORT", account_.url, headers, body, response, error)) return false;
  std::string why;
  pugi::xml_document document;
  std::vector<DavResponse> responses;
  bool answered = response.status == 207;
  if (!answered) why = describeHttpStatus(response.status);
  if (answered && !parseMultistatus(response.body, account_.url, document, responses, &why)) answered = false;
  if (!answered) {
    // A server that fails on one card fails the whole batch: ask again in smaller parts, and skip
    // the one card it cannot serve. A server that refuses every batch fails the fetch.
    if (response.status == 401 || response.status == 403 || response.status == 404 || response.status == 405) {
      if (error) *error = account_.url + ": " + why;
      return false;
    }
    if (hrefs.size() == 1) {
      skip(hrefs.front(), account_.url + ": the server cannot give the card " + hrefs.front() + " (" + why +
                              "); it is left as it was");
      return true;
    }
    std::size_t parts = std::min<std::size_t>(hrefs.size(), 10);
    std::size_t each = (hrefs.size() + parts - 1) / parts;
    std::size_t skippedBefore = skipped().size();
    for (std::size_t start = 0; start < hrefs.size(); start += each) {
      std::vector<std::string> part(hrefs.begin() + static_cast<std::ptrdiff_t>(start),
                                    hrefs.begin() + static_cast<std::ptrdiff_t>(std::min(hrefs.size(), start + each)));
      if (!fetchBatch(part, cardByHref, error)) return false;
    }
    if (skipped().size() - skippedBefore == hrefs.size() && hrefs.size() > 10) {
      // Not one card of them: the server fails on every one, not on a card of its own.
      if (error) *error = account_.url + ": " + why;
      return false;
    }
    return true;
  }
  for (const auto& entry : responses) {
    if (!entry.prop) continue;  // 404: gone meanwhile
    std::string href = entry.href;
    if (!asked.count(href)) {
      // Some servers answer with the href encoded differently: match it by its decoded path.
      std::string answered = normalPath(HttpSession::pathOf(HttpSession::resolve(account_.url, href)));
      href.clear();
      for (const auto& candidate : asked)
        if (normalPath(HttpSession::pathOf(HttpSession::resolve(account_.url, candidate))) == answered)
          href = candidate;
      if (href.empty()) continue;  // a card not asked for
    }
    Card card;
    card.etag = trimmed(child(entry.prop, "getetag").child_value());
    card.text = child(entry.prop, "address-data").child_value();
    cardByHref[href] = std::move(card);
  }
  return true;
}

CardCollection::WriteStatus CardDavCollection::putAnswered(const std::string& url, const std::string& ifMatch,
                                                           long status,
                                                           const std::map<std::string, std::string>& headers,
                                                           std::string& newEtag, std::string* error) {
  if (status == 412) return WriteStatus::Conflict;
  // A new card refused because the server holds one of the same unique id (RFC 6352 5.3.2.1,
  // no-uid-conflict): settled as a name taken.
  if (status == 409 && ifMatch.empty()) return WriteStatus::Conflict;
  if (status == 404 && !ifMatch.empty()) return WriteStatus::Gone;
  if (status / 100 != 2) {
    if (error) *error = url + ": " + describeHttpStatus(status);
    return WriteStatus::Failed;
  }
  auto etag = headers.find("etag");
  newEtag = etag == headers.end() ? std::string() : etag->second;
  if (newEtag.empty() || newEtag.rfind("W/", 0) == 0) {
    // No strong ETag in the answer: ask for the card's version.
    pugi::xml_document document;
    std::vector<DavResponse> responses;
    newEtag.clear();
    if (propfind(*http_, url, 0, "<d:getetag/>", document, responses, nullptr) && !responses.empty() &&
        responses.front().prop)
      newEtag = trimmed(child(responses.front().prop, "getetag").child_value());
  }
  return WriteStatus::Done;
}

CardCollection::WriteStatus CardDavCollection::removeAnswered(const std::string& url, long status, std::string* error) {
  if (status == 412) return WriteStatus::Conflict;
  if (status == 404 || status == 410) return WriteStatus::Gone;
  if (status / 100 != 2) {
    if (error) *error = url + ": " + describeHttpStatus(status);
    return WriteStatus::Failed;
  }
  return WriteStatus::Done;
}

namespace {

HttpSession::Request writeRequest(const std::string& url, const CardCollection::Write& write) {
  HttpSession::Request request;
  request.url = url;
  if (write.remove) {
    request.method = "DELETE";
    if (!write.ifMatch.empty()) request.headers.push_back("If-Match: " + write.ifMatch);
  } else {
    request.method = "PUT";
    request.body = write.text;
    request.headers = {"Content-Type: text/vcard; charset=utf-8",
                       write.ifMatch.empty() ? std::string("If-None-Match: *") : "If-Match: " + write.ifMatch};
  }
  return request;
}

}  // namespace

CardCollection::WriteStatus CardDavCollection::put(const std::string& href, const std::string& text,
                                                   const std::string& ifMatch, std::string& newEtag,
                                                   std::string* error) {
  std::string url;
  if (!cardUrl(href, url, error)) return WriteStatus::Failed;
  HttpSession::Request request = writeRequest(url, {href, text, ifMatch, false});
  HttpSession::Response response;
  if (!http_->request(request.method, request.url, request.headers, request.body, response, error))
    return WriteStatus::Failed;
  return putAnswered(request.url, ifMatch, response.status, response.headers, newEtag, error);
}

CardCollection::WriteStatus CardDavCollection::remove(const std::string& href, const std::string& ifMatch,
                                                      std::string* error) {
  std::string url;
  if (!cardUrl(href, url, error)) return WriteStatus::Failed;
  HttpSession::Request request = writeRequest(url, {href, "", ifMatch, true});
  HttpSession::Response response;
  if (!http_->request(request.method, request.url, request.headers, request.body, response, error))
    return WriteStatus::Failed;
  return removeAnswered(request.url, response.status, error);
}

void CardDavCollection::writeAll(const std::vector<Write>& writes, std::vector<WriteResult>& results) {
  // Only writes inside the collection go out; the others fail without a request.
  results.assign(writes.size(), WriteResult{});
  std::vector<HttpSession::Request> requests;
  std::vector<std::size_t> sent;  // the write of each request
  requests.reserve(writes.size());
  for (std::size_t i = 0; i < writes.size(); ++i) {
    std::string url;
    if (!cardUrl(writes[i].href, url, &results[i].error)) continue;
    requests.push_back(writeRequest(url, writes[i]));
    sent.push_back(i);
  }
  std::vector<HttpSession::Response> answers;
  std::vector<std::string> failures;
  http_->requestAll(requests, kWritesInFlight, answers, failures);
  std::vector<HttpSession::Response> responses(writes.size());
  std::vector<std::string> errors(writes.size());
  for (std::size_t k = 0; k < sent.size(); ++k) {
    responses[sent[k]] = std::move(answers[k]);
    errors[sent[k]] = std::move(failures[k]);
  }
  for (std::size_t i = 0; i < writes.size(); ++i) {
    WriteResult& result = results[i];
    if (!result.error.empty()) {
      result.status = WriteStatus::Failed;
    } else if (!errors[i].empty()) {
      result.status = WriteStatus::Failed;
      result.error = errors[i];
    } else if (writes[i].remove) {
      result.status = removeAnswered(responses[i].url, responses[i].status, &result.error);
    } else {
      result.status = putAnswered(responses[i].url, writes[i].ifMatch, responses[i].status, responses[i].headers,
                                  result.etag, &result.error);
    }
  }
}

std::string CardDavCollection::hrefForNewCard(const std::string& uid) const {
  std::string name;
  bool plain = !uid.empty() && uid.size() <= 200;
  for (unsigned char c : uid)
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.')) plain = false;
  if (plain) {
    name = uid;
  } else {
    std::ostringstream hashed;
    hashed << std::hex << std::hash<std::string>{}(uid);
    name = hashed.str();
  }
  std::string path = HttpSession::pathOf(account_.url);
  if (path.empty() || path.back() != '/') path += '/';
  return path + name + ".vcf";
}
