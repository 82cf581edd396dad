#pragma once

#include <chrono>
#include <string>

// What an export killed midway leaves behind: hidden ".Zedid-Ovuzazur….XXXXXX.part" files and
// folders (and ".allPeople….XXXXXX.part") in the folder it wrote to, and "<prefix>-XXXXXX" working
// folders in the cache folder. An export holds a lock on each of its own while it runs
// (ExportLock), so only what nobody holds and what has not changed for a while is taken for a
// leftover.

// A lock on a file or folder that an export is writing, held until the object goes out of scope.
class ExportLock {
 public:
  ExportLock() = default;
  explicit ExportLock(const std::string& path);
  ~ExportLock();
  ExportLock(ExportLock&& other) noexcept;
  ExportLock& operator=(ExportLock&& other) noexcept;
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;

  void release();

 private:
  int fd_ = -1;
};

// An export holds its lock from the moment its file is made; the age only covers that moment, so
// that the next run (a user trying again after a kill) already cleans up.
inline constexpr std::chrono::minutes kLeftoverAge{1};

// Removes the leftovers of earlier exports from folder and from the cache folder: entries of those
// names, unchanged for olderThan and held by no export. Returns how many were removed.
int removeExportLeftovers(const std::string& folder, std::chrono::seconds olderThan = kLeftoverAge);
