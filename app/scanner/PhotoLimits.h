#pragma once

#include <cstddef>
#include <filesystem>

// The limits over which "Photo too large" lists a photo: its bytes as stored, and its longer side in
// pixels. The user sets them in the window's preferences, which keeps them in the settings file
// beside the allowed titles (AllowedNames::settingsFile, section "scan"); the command line reads
// them from there.
struct PhotoLimits {
  std::size_t kilobytes = 256;  // of 1,024 bytes
  int pixels = 1024;

  std::size_t bytes() const { return kilobytes * 1024; }
  bool operator==(const PhotoLimits&) const = default;

  // The limits scans and the re-checks of fixes use in this process (the defaults until use()).
  static PhotoLimits current();
  static void use(PhotoLimits limits);

  static constexpr const char* kKilobytesKey = "largePhotoKilobytes";
  static constexpr const char* kPixelsKey = "largePhotoPixels";
  // The limits in the settings file; a limit it does not hold, or not as a whole number above zero,
  // is the default one.
  static PhotoLimits fromSettingsFile(const std::filesystem::path& file);
};

// What shrinking a photo makes: a JPEG of this quality, this long on its longer side.
inline constexpr int kShrunkPhotoSide = 512;
inline constexpr int kShrunkPhotoQuality = 85;
