#include "platform/addressbook/vcard/VCardLegacyText.h"

#include <unistd.h>

#include <cerrno>

#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

namespace {

constexpr std::string_view kCharset = "CHARSET=";

// The character set named after a "CHARSET=" at text[at], up to the parameter's end.
std::string_view charsetValueAt(std::string_view text, std::size_t at) {
  std::string_view value = text.substr(at + kCharset.size());
  if (!value.empty() && value.front() == '"') value.remove_prefix(1);
  std::size_t end = 0;
  while (end < value.size() && value[end] != ';' && value[end] != ':' && value[end] != '"' && value[end] != ',' &&
         value[end] != '\r' && value[end] != '\n' && value[end] != ' ')
    ++end;
  return value.substr(0, end);
}

// Where the next "CHARSET=" (any case) starts at or after from, or npos.
std::size_t findCharset(std::string_view text, std::size_t from) {
  for (std::size_t at = from; at + kCharset.size() <= text.size(); ++at) {
    at = text.find_first_of("cC", at);
    if (at == std::string_view::npos || at + kCharset.size() > text.size()) return std::string_view::npos;
    if (equalsIgnoringCase(text.substr(at, kCharset.size()), kCharset)) return at;
  }
  return std::string_view::npos;
}

std::string_view plural(std::size_t count, std::string_view one, std::string_view many) {
  return count == 1 ? one : many;
}

}  // namespace

VCardLegacyText::VCardLegacyText(std::string fallback, std::function<std::string()> fileCharset)
    : fallback_(std::move(fallback)), findFileCharset_(std::move(fileCharset)) {}

const std::string& VCardLegacyText::fileCharset() const {
  std::call_once(found_, [this] {
    if (findFileCharset_) fileCharset_ = findFileCharset_();
  });
  return fileCharset_;
}

namespace {

// The first one that starts before limit.
std::string firstLegacyCharsetBefore(std::string_view text, std::size_t limit) {
  for (std::size_t at = findCharset(text, 0); at != std::string_view::npos && at < limit;
       at = findCharset(text, at + 1)) {
    // Only a parameter: the name comes after a ';' (of a property line's head).
    if (at == 0 || text[at - 1] != ';') continue;
    std::string_view value = charsetValueAt(text, at);
    if (!value.empty() && !CharsetConverter::isUtf8(value)) return std::string(value);
  }
  return {};
}

}  // namespace

std::string firstLegacyCharsetIn(std::string_view text) {
  return firstLegacyCharsetBefore(text, std::string_view::npos);
}

std::string firstLegacyCharsetInFile(int fd) {
  // Read a chunk at a time; a parameter that starts within the last bytes of a chunk is looked at
  // with the next one.
  constexpr std::size_t kChunk = 1 << 20, kOverlap = 256;
  std::string buffer;
  off_t offset = 0;
  while (true) {
    const std::size_t kept = buffer.size();
    buffer.resize(kept + kChunk);
    ssize_t got;
    do got = ::pread(fd, buffer.data() + kept, kChunk, offset);
    while (got < 0 && errno == EINTR);
    if (got < 0) return {};
    buffer.resize(kept + static_cast<std::size_t>(got));
    offset += got;
    const bool atEnd = static_cast<std::size_t>(got) < kChunk;
    const std::size_t limit = atEnd ? std::string::npos : buffer.size() - kOverlap;
    if (std::string found = firstLegacyCharsetBefore(buffer, limit); !found.empty() || atEnd) return found;
    buffer.erase(0, limit);
  }
}

void addLegacyCount(VCardLegacyCounts& counts, std::string_view charset, std::size_t values, std::size_t contacts) {
  for (auto& count : counts) {
    if (equalsIgnoringCase(count.charset, charset)) {
      count.values += values;
      count.contacts += contacts;
      return;
    }
  }
  counts.push_back({std::string(charset), values, contacts});
}

void addLegacyCounts(VCardLegacyCounts& counts, const VCardLegacyCounts& other) {
  for (const auto& count : other) addLegacyCount(counts, count.charset, count.values, count.contacts);
}

std::vector<std::string> describeLegacyText(const VCardLegacyCounts& counts) {
  std::vector<std::string> lines;
  for (const auto& count : counts) {
    if (count.values == 0) continue;
    lines.push_back(std::to_string(count.values) + std::string(plural(count.values, " value of ", " values of ")) +
                    std::to_string(count.contacts) + std::string(plural(count.contacts, " contact ", " contacts ")) +
                    std::string(plural(count.values, "was", "were")) + " not UTF-8 and " +
                    std::string(plural(count.values, "was", "were")) + " read as " + count.charset);
  }
  return lines;
}
