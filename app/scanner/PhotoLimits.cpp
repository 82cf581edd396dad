#include "app/scanner/PhotoLimits.h"

#include <atomic>
#include <charconv>
#include <string>

#include "app/scanner/AllowedNames.h"

namespace {

std::atomic<std::size_t>& kilobytesInUse() {
  static std::atomic<std::size_t> kilobytes{PhotoLimits().kilobytes};
  return kilobytes;
}

std::atomic<int>& pixelsInUse() {
  static std::atomic<int> pixels{PhotoLimits().pixels};
  return pixels;
}

// A whole number above zero, else nothing.
template <typename Number>
bool readNumber(const std::string& text, Number& into) {
  Number value{};
  const char* end = text.data() + text.size();
  const char* start = text.data();
  while (start < end && *start == ' ') ++start;
  const auto [at, error] = std::from_chars(start, end, value);
  if (error != std::errc() || value <= 0) return false;
  for (const char* rest = at; rest < end; ++rest)
    if (*rest != ' ') return false;
  into = value;
  return true;
}

}  // namespace

PhotoLimits PhotoLimits::current() {
  return {kilobytesInUse().load(std::memory_order_relaxed), pixelsInUse().load(std::memory_order_relaxed)};
}

void PhotoLimits::use(PhotoLimits limits) {
  kilobytesInUse().store(limits.kilobytes, std::memory_order_relaxed);
  pixelsInUse().store(limits.pixels, std::memory_order_relaxed);
}

PhotoLimits PhotoLimits::fromSettingsFile(const std::filesystem::path& file) {
  PhotoLimits limits;
  for (const auto& [key, value] : AllowedNames::settingsValues(file)) {
    if (key == kKilobytesKey) readNumber(value, limits.kilobytes);
    if (key == kPixelsKey) readNumber(value, limits.pixels);
  }
  return limits;
}
