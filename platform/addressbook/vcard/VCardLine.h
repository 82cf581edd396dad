#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The syntax layer of vCard: physical lines, unfolding, groups, parameters. It knows nothing about
// what the properties mean.

struct VCardParameter {
  std::string_view name;   // upper or mixed case as written; bare 2.1 parameters get TYPE or ENCODING
  std::string_view value;  // without surrounding quotes; may hold a comma-separated list
};

struct VCardLine {
  std::string_view group;  // "item1" of "item1.TEL", empty when none
  std::string_view name;   // "TEL"
  std::string_view value;  // unfolded, still escaped and transfer-encoded
  std::uint32_t firstParameter = 0;
  std::uint32_t parameterCount = 0;
  std::size_t lineNumber = 0;  // 1-based physical line where the property starts
  // Set by the reader when the line has neither an ENCODING nor a CHARSET parameter: its value is
  // then text as written, and the parameter look-ups for them can be left out.
  bool plain = false;
};

// One card: its lines and their parameters. Reused from card to card to keep allocations down.
class VCardCard {
 public:
  std::size_t beginLine = 0;
  std::vector<VCardLine> lines;
  std::vector<VCardParameter> parameters;

  std::span<const VCardParameter> parametersOf(const VCardLine& line) const {
    return {parameters.data() + line.firstParameter, line.parameterCount};
  }
  // The value of the first parameter with that name (case-insensitive), if any.
  std::optional<std::string_view> parameter(const VCardLine& line, std::string_view name) const;
  // Whether a TYPE parameter of the line lists the type (case-insensitive; repeated or comma lists).
  bool hasType(const VCardLine& line, std::string_view type) const;

  void clear();
  // Text storage that lives until clear(): unfolded lines are built here.
  std::string& newStorage();

 private:
  std::vector<std::unique_ptr<std::string>> storage_;
  std::size_t storageUsed_ = 0;
};

struct VCardSyntaxError {
  std::size_t line = 0;
  std::string message;
};

// Where the card begins that a piece of a longer text ends inside of.
struct VCardUnfinishedCard {
  std::size_t position = 0;     // of its first line in the text read
  std::size_t linesBefore = 0;  // physical lines before that line, counted as the reader does
};

// Reads the cards of a text one after the other. The text must outlive the cards read from it.
class VCardLineReader {
 public:
  explicit VCardLineReader(std::string_view text);
  // A reader of the part of a text that starts at a line start between two cards, after linesBefore
  // lines.
  VCardLineReader(std::string_view part, std::size_t linesBefore);

  // Reads the next card into card. False at the end of the text or on a syntax error (see error()),
  // or when the reader reaches the stop position (see stopAt).
  bool nextCard(VCardCard& card);
  const std::optional<VCardSyntaxError>& error() const { return error_; }

  // Makes nextCard stop when, between two cards, the next line starts exactly at position (in the
  // text read, without a byte order mark). A position inside a card or a property is passed over.
  void stopAt(std::size_t position) { stopAt_ = position; }
  bool stopped() const { return stopped_; }

  // Takes the text for a piece of a longer one that ends at a line start: a card still open at its
  // end is then no error but goes on in the next piece (see unfinishedCard).
  void readPieceOfLongerText() { piece_ = true; }
  const std::optional<VCardUnfinishedCard>& unfinishedCard() const { return unfinished_; }
  // Physical lines read so far, those before the text included.
  std::size_t linesRead() const { return lineNumber_; }

 private:
  // Called for every line: defined here, so that they are inlined.
  bool readPhysicalLine(std::string_view& line, std::size_t& number) {
    if (!peekPhysicalLine(line)) return false;
    skipPhysicalLine();
    number = lineNumber_;
    return true;
  }
  bool peekPhysicalLine(std::string_view& line) const {
    if (position_ >= text_.size()) return false;
    line = std::string_view(text_.data() + position_, lineEnd() - position_);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
  // Of the physical line at position_.
  std::size_t lineEnd() const {
    if (lineEndFor_ != position_) {
      lineEnd_ = text_.find('\n', position_);
      if (lineEnd_ == std::string_view::npos) lineEnd_ = text_.size();
      lineEndFor_ = position_;
    }
    return lineEnd_;
  }
  void skipPhysicalLine() {
    const std::size_t end = lineEnd();
    position_ = end < text_.size() ? end + 1 : text_.size();
    ++lineNumber_;
  }
  bool readProperty(VCardCard& card, std::string_view first, std::size_t number, VCardLine& out);
  bool fail(std::size_t line, std::string message);

  std::string_view text_;
  std::size_t position_ = 0;
  std::size_t lineNumber_ = 0;
  std::optional<VCardSyntaxError> error_;
  mutable std::size_t lineEndFor_ = std::string_view::npos;  // the position lineEnd_ was found for
  mutable std::size_t lineEnd_ = 0;
  std::optional<std::size_t> stopAt_;
  bool stopped_ = false;
  bool piece_ = false;
  std::optional<VCardUnfinishedCard> unfinished_;
};

// ASCII letters compared without their case; any other byte as it is.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i], y = b[i];
    if (x == y) continue;
    // Equal but for case only when one is the other's letter with the 0x20 bit flipped.
    const char lower = static_cast<char>(x | 0x20);
    if (lower != static_cast<char>(y | 0x20) || lower < 'a' || lower > 'z') return false;
  }
  return true;
}
