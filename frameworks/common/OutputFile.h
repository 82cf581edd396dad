#pragma once

#include <string>

#include "frameworks/common/Leftovers.h"

// A file written under a temporary name in its destination folder and given its real name only
// when complete, so that a failed export leaves nothing behind and a reader never sees a partial
// file.
//
//   OutputFile out("/dest/Zedid-Ovuzazur.xlsx");
//   if (!out.open()) report(out.error());
//   ... write the whole file at out.temporaryPath() ...
//   if (!out.commit()) report(out.error()); else use(out.finalPath());
//
// commit() names the file by Function::GetOutPutFile and never replaces an existing file: when
// another export takes the chosen name first, the next free name is chosen. Without a commit the
// temporary file is removed when the object goes out of scope.
class OutputFile {
 public:
  explicit OutputFile(std::string wantedPath);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the (empty) temporary file next to the wanted path.
  bool open();
  const std::string& temporaryPath() const { return temporaryPath_; }

  bool commit();
  const std::string& finalPath() const { return finalPath_; }

  const std::string& error() const { return error_; }

 private:
  std::string wantedPath_;
  std::string temporaryPath_;
  std::string finalPath_;
  std::string error_;
  ExportLock lock_;  // the temporary file is in use: no cleanup of leftovers takes it
};

// Writes bytes to path through a temporary file in the same folder and renames it over path.
// Returns false (and, when given, the reason in *error) when anything fails; path is then untouched.
bool replaceFileAtomically(const std::string& path, const std::string& bytes, std::string* error = nullptr);
