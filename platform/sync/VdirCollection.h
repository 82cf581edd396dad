#pragma once

#include <filesystem>

#include "platform/sync/CardCollection.h"

// A vdir: a folder holding one card per .vcf file, as vdirsyncer and khard keep it (KDE's local
// contacts folder has the same shape). A card's ETag is what identifies the file's version: its
// modification time, size and inode, which a rename-into-place always changes. Cards are written to a
// temporary file in the same folder and renamed, so a reader never sees half a card; files that are
// not .vcf are left alone.
class VdirCollection : public CardCollection {
 public:
  explicit VdirCollection(std::filesystem::path folder) : folder_(std::move(folder)) {}

  std::string describe() const override;
  bool list(std::map<std::string, std::string>& etagByHref, std::string* error) override;
  bool fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
             std::string* error) override;
  WriteStatus put(const std::string& href, const std::string& text, const std::string& ifMatch, std::string& newEtag,
                  std::string* error) override;
  WriteStatus remove(const std::string& href, const std::string& ifMatch, std::string* error) override;
  std::string hrefForNewCard(const std::string& uid) const override;

  // The ETag of a file now; empty when there is none.
  static std::string etagOf(const std::filesystem::path& file);

 private:
  bool safeHref(const std::string& href, std::string* error) const;
  std::filesystem::path folder_;
};
