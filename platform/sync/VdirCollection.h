#pragma once

#include <filesystem>

#include "platform/sync/CardCollection.h"

// A vdir: a folder holding one card per .vcf file, as vdirsyncer and khard keep it (KDE's local
// contacts folder has the same shape). A card's ETag is what identifies the file's version: its
// modification time, size and inode, which a rename-into-place always changes. Cards are written to a
// temporary file in the same folder and renamed, so a reader never sees half a card, with the
// permissions the umask gives; the temporary files a killed run left are removed at the next list.
// Files that are not .vcf are left alone, and a card file that cannot be read is skipped.
// A folder that is missing, cannot be read, or is no longer on the file system it was on when linked
// (a drive not mounted: the empty folder under its mount point) cannot be listed: it is not a
// folder whose cards were all deleted.
class VdirCollection : public CardCollection {
 public:
  // volume: the folder's file system when it was linked (volumeOf); empty: not checked.
  explicit VdirCollection(std::filesystem::path folder, std::string volume = {})
      : folder_(std::move(folder)), volume_(std::move(volume)) {}

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
  // The mount point of the file system holding folder; empty when the folder is not there.
  static std::string volumeOf(const std::filesystem::path& folder);

 private:
  bool safeHref(const std::string& href, std::string* error) const;
  std::filesystem::path folder_;
  std::string volume_;
};
