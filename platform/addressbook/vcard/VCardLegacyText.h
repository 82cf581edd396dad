#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Values in a legacy 8-bit or multibyte character set. A line's own CHARSET says how its value is
// read. A value that is not UTF-8 and says no CHARSET of its own (or one it is not text in) is read
// by this rule, in the first character set of these that it is text in:
//   1. the card's own: the first CHARSET of the card's lines that names one other than UTF-8;
//   2. the file's: the first such CHARSET in the file;
//   3. the fallback: Windows-1252 (what nearly every such file is written in), unless the import
//      chose another (`import --charset NAME`).
// No value is ever replaced by U+FFFD: when none of them fits, the file is refused at that line.
// The values read this way are counted, so that the import can say so.

inline constexpr std::string_view kDefaultLegacyCharset = "Windows-1252";

// The rule for one text or file; shared by the readers of its parts on several cores.
class VCardLegacyText {
 public:
  // fileCharset finds the file's character set (empty when it names none); it is called once, when
  // a value first needs it.
  explicit VCardLegacyText(std::string fallback = std::string(kDefaultLegacyCharset),
                           std::function<std::string()> fileCharset = {});

  const std::string& fallback() const { return fallback_; }
  const std::string& fileCharset() const;

 private:
  std::string fallback_;
  std::function<std::string()> findFileCharset_;
  mutable std::once_flag found_;
  mutable std::string fileCharset_;
};

// The character set the first CHARSET parameter of text names that is not UTF-8 (or ASCII), or empty.
std::string firstLegacyCharsetIn(std::string_view text);
// The same for the file open as fd, read from its start (the file's position is not moved).
std::string firstLegacyCharsetInFile(int fd);

// How many values of how many contacts were read in one character set by the rule.
struct VCardLegacyCount {
  std::string charset;
  std::size_t values = 0;
  std::size_t contacts = 0;
  bool operator==(const VCardLegacyCount&) const = default;
};
using VCardLegacyCounts = std::vector<VCardLegacyCount>;

// Adds counts of one character set, or all of other.
void addLegacyCount(VCardLegacyCounts& counts, std::string_view charset, std::size_t values, std::size_t contacts);
void addLegacyCounts(VCardLegacyCounts& counts, const VCardLegacyCounts& other);
// "12 values of 3 contacts were not UTF-8 and were read as Windows-1252", one line a character set.
std::vector<std::string> describeLegacyText(const VCardLegacyCounts& counts);
