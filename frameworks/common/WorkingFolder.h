#pragma once

#include <string>

#include "frameworks/common/Leftovers.h"

// A new, uniquely named folder for the files of one export, under the user's cache folder:
// $XDG_CACHE_HOME/rolvane/<prefix>-XXXXXX (with ~/.cache as the cache folder when XDG_CACHE_HOME is
// unset or not absolute). Missing parent folders are created. The folder and everything in it are
// removed when the object goes out of scope, whether the export succeeded or not.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& prefix);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  // False when the folder could not be created; error() then says why.
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // The folder under which working folders are made ($XDG_CACHE_HOME/rolvane or ~/.cache/rolvane).
  static std::string cacheRoot();

 private:
  std::string path_;
  std::string error_;
  ExportLock lock_;  // the folder is in use: no cleanup of leftovers takes it
};
