#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/sync/CardCollection.h"
#include "platform/sync/HttpSession.h"

struct CardDavAccount {
  std::string url;  // the address book collection, or (for discovery) the server's address
  std::string user;
  std::string password;
  bool insecure = false;  // skip certificate checks (a self-signed test server); never the default
};

struct CardDavAddressBook {
  std::string url;
  std::string displayName;
};

// An address book collection on a CardDAV server (RFC 6352), over one kept-alive HTTP connection.
// Changes are asked for with sync-collection (RFC 6578) where the server offers it, else found by
// comparing ETags from one PROPFIND; cards are fetched with addressbook-multiget in batches, and every write carries
// If-Match (or If-None-Match for a new card) so that nothing the server changed meanwhile is overwritten: 412 is a
// conflict, not an error. Writes of many cards go out a few at a time side by side.
class CardDavCollection : public CardCollection {
 public:
  explicit CardDavCollection(CardDavAccount account);
  ~CardDavCollection() override;

  // The address books reachable from account.url: the collection itself when it is one, else the
  // ones found the standard way (/.well-known/carddav, current-user-principal, addressbook-home-set;
  // RFC 6764 and RFC 6352). False and *error when the server cannot be asked.
  static bool discover(const CardDavAccount& account, std::vector<CardDavAddressBook>& books, std::string* error);

  std::string describe() const override;
  bool list(std::map<std::string, std::string>& etagByHref, std::string* error) override;
  ChangesStatus changesSince(const std::string& token, std::map<std::string, std::string>& etagByHref,
                             std::vector<std::string>& removedHrefs, std::string& newToken,
                             std::string* error) override;
  bool fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
             std::string* error) override;
  WriteStatus put(const std::string& href, const std::string& text, const std::string& ifMatch, std::string& newEtag,
                  std::string* error) override;
  WriteStatus remove(const std::string& href, const std::string& ifMatch, std::string* error) override;
  // Several requests in flight at once, so that a server taking writes side by side, or far away on
  // the network, is not waited for one card at a time.
  void writeAll(const std::vector<Write>& writes, std::vector<WriteResult>& results) override;
  std::string hrefForNewCard(const std::string& uid) const override;

  // The limits every request to the server keeps (HttpSession::Limits).
  void setLimits(const HttpSession::Limits& limits);

  // The URL a card's href names, when it is a card of this collection: on the collection's origin
  // and inside its path once percent-decoded and without dot segments. False and *error (naming the
  // href) for anything else; nothing is ever sent there.
  bool cardUrl(const std::string& href, std::string& url, std::string* error) const;

 private:
  // One multiget of hrefs; a batch the server fails to answer is asked again in smaller parts, down
  // to single cards, and a card it cannot serve is skipped.
  bool fetchBatch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref, std::string* error);
  // What the answer to a put or remove of url means; a put's new ETag is asked for when the answer
  // gives no strong one.
  WriteStatus putAnswered(const std::string& url, const std::string& ifMatch, long status,
                          const std::map<std::string, std::string>& headers, std::string& newEtag, std::string* error);
  static WriteStatus removeAnswered(const std::string& url, long status, std::string* error);

  CardDavAccount account_;
  std::string origin_;          // the collection's origin (HttpSession::originOf)
  std::string collectionPath_;  // the collection's path on the server, percent-decoded, ending in '/'
  std::unique_ptr<HttpSession> http_;
};
