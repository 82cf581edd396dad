#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

// One address book a sync reads and writes card by card: a vdir folder or a CardDAV collection.
// Cards are named by an href (a file name in a folder, a path on a server) and versioned by an ETag
// that changes whenever the card changes there.
class CardCollection {
 public:
  virtual ~CardCollection() = default;

  struct Card {
    std::string etag;
    std::string text;
  };
  enum class WriteStatus {
    Done,      // written or deleted; for a write, the new ETag is given back
    Conflict,  // the card is not in the version given (or exists, for a new card): nothing done
    Gone,      // the card is no longer there
    Failed     // anything else: error says what
  };

  // Where this collection is, for messages ("the folder /x", "https://host/book/").
  virtual std::string describe() const = 0;
  // Every card's href and ETag.
  virtual bool list(std::map<std::string, std::string>& etagByHref, std::string* error) = 0;

  // What changed since the collection gave out token (empty: since nothing, so every card), where
  // the collection can tell (a CardDAV server offering sync-collection, RFC 6578): the href and ETag
  // of every card added or changed, the hrefs of the cards removed, and the token of the state now.
  enum class ChangesStatus {
    Done,
    Unsupported,   // the collection cannot tell: list() it
    TokenExpired,  // the collection no longer knows the token: list() it
    Failed         // error says what
  };
  virtual ChangesStatus changesSince(const std::string& token, std::map<std::string, std::string>& etagByHref,
                                     std::vector<std::string>& removedHrefs, std::string& newToken,
                                     std::string* error) {
    (void)token, (void)etagByHref, (void)removedHrefs, (void)newToken, (void)error;
    return ChangesStatus::Unsupported;
  }
  // The cards of the hrefs; an href that is gone is left out of the answer.
  virtual bool fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
                     std::string* error) = 0;
  // Writes a card; ifMatch empty: only when no card has that href yet.
  virtual WriteStatus put(const std::string& href, const std::string& text, const std::string& ifMatch,
                          std::string& newEtag, std::string* error) = 0;
  virtual WriteStatus remove(const std::string& href, const std::string& ifMatch, std::string* error) = 0;

  // One of several writes done together: a card put (ifMatch empty: only where no card has that
  // href yet) or removed, each only in the version named.
  struct Write {
    std::string href;
    std::string text;
    std::string ifMatch;
    bool remove = false;
  };
  struct WriteResult {
    WriteStatus status = WriteStatus::Failed;
    std::string etag;  // the card's new ETag, after a put that was done
    std::string error;
  };
  // Does every write, possibly several at once and in any order (so no write may depend on another),
  // and gives back results[i] for writes[i].
  virtual void writeAll(const std::vector<Write>& writes, std::vector<WriteResult>& results) {
    results.assign(writes.size(), WriteResult{});
    for (std::size_t i = 0; i < writes.size(); ++i) {
      const Write& write = writes[i];
      results[i].status = write.remove ? remove(write.href, write.ifMatch, &results[i].error)
                                       : put(write.href, write.text, write.ifMatch, results[i].etag, &results[i].error);
    }
  }
  // The href a new card of that unique id gets.
  virtual std::string hrefForNewCard(const std::string& uid) const = 0;

  // The cards that list, changesSince or fetch left out because they cannot or must not be read (an
  // href outside the collection, a file that cannot be read, a card the server fails to serve), one
  // line each naming the card. A sync leaves them as they are: such a card is not gone.
  struct Skipped {
    std::string href;
    std::string why;
  };
  const std::vector<Skipped>& skipped() const { return skipped_; }

 protected:
  void skip(const std::string& href, const std::string& why) {
    if (skippedHrefs_.insert(href).second) skipped_.push_back({href, why});
  }

 private:
  std::vector<Skipped> skipped_;
  std::set<std::string> skippedHrefs_;
};
