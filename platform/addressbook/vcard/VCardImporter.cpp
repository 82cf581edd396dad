#include "platform/addressbook/vcard/VCardImporter.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/EncodedPersons.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardPersonReader.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "platform/text/ByteWords.h"
#include "platform/threads/ParallelFor.h"

namespace {

std::string located(const std::string& source, std::size_t line, const std::string& problem) {
  return source + ":" + std::to_string(line) + ": " + problem;
}

// A text that holds no card is no vCard file, and nothing of it is imported.
std::string noCard(const std::string& source) {
  return source + ": holds no card (no BEGIN:VCARD ... END:VCARD)";
}

bool startsUtf16(std::string_view text) {
  return text.size() >= 2 &&
         ((static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) ||
          (static_cast<unsigned char>(text[0]) == 0xFE && static_cast<unsigned char>(text[1]) == 0xFF));
}

// UTF-16 files (some desktop exporters write them) are turned into UTF-8 before reading.
bool utf16ToUtf8(std::string_view text, std::string& out) {
  bool little = static_cast<unsigned char>(text[0]) == 0xFF;
  CharsetConverter converter;
  return converter.toUtf8(text.substr(2), little ? "UTF-16LE" : "UTF-16BE", out);
}

struct CardsRead {
  std::vector<ABPersonData> persons;
  // Read for the store: the persons encoded instead (persons stays empty).
  bool encode = false;
  EncodedPersons encoded;
  std::optional<VCardSyntaxError> error;  // then persons holds those read before it
  VCardLegacyCounts legacy;               // values read by the rule for text that is not UTF-8
  // For a piece of a longer text: the card it ends inside of (its position in the piece).
  std::optional<VCardUnfinishedCard> unfinished;
  std::size_t linesRead = 0;  // physical lines up to where reading ended, those before the text included
  bool stopped = false;
};

// Reads the cards of reader until the text ends, the reader stops, a card is malformed or cancel is
// set.
void readCards(VCardLineReader& reader, CardsRead& out, const std::atomic<bool>& cancel,
               const VCardLegacyText& legacy) {
  VCardPersonReader mapper;
  mapper.setLegacyText(&legacy);
  VCardCard card;
  while (!cancel.load(std::memory_order_relaxed) && reader.nextCard(card)) {
    VCardSyntaxError error;
    if (out.encode) {
      PersonSlots* person = mapper.readCardInPlace(card, error);
      if (!person) {
        out.error = error;
        return;
      }
      out.encoded.add(*person);
      continue;
    }
    ABPersonData person;
    if (!mapper.readCard(card, person, error)) {
      out.error = error;
      return;
    }
    out.persons.push_back(std::move(person));
  }
  if (reader.error()) out.error = *reader.error();
  out.legacy = mapper.legacyCounts();
  out.unfinished = reader.unfinishedCard();
  out.linesRead = reader.linesRead();
  out.stopped = reader.stopped();
}

// How many line feeds text holds, looked for eight bytes at a time.
std::size_t lineFeedsIn(std::string_view text) {
  std::size_t count = 0, i = 0;
  for (; i + 8 <= text.size(); i += 8)
    count += ByteWords::countZeros(ByteWords::load(text.data() + i) ^ ('\n' * ByteWords::kEachByte));
  for (; i < text.size(); ++i) count += text[i] == '\n';
  return count;
}

// The start of a line near the middle of text that begins a card, or npos.
std::size_t cardStartNearMiddle(std::string_view text) {
  constexpr std::string_view kBegin = "BEGIN:VCARD";
  for (std::size_t newline = text.find('\n', text.size() / 2); newline != std::string_view::npos;
       newline = text.find('\n', newline + 1)) {
    if (equalsIgnoringCase(text.substr(newline + 1, kBegin.size()), kBegin)) return newline + 1;
  }
  return std::string_view::npos;
}

// Reads text, which follows linesBefore lines of its file; with piece set it is a piece of a longer
// text that ends at a line start, and a card still open at its end is carried over (unfinished).
// Large texts are read in two parts on two cores: the second part from a card start near the
// middle, the first part up to that point. The first reader confirms that the point lies between
// two cards; if it does not (the point is inside a card or a value), or the first part is
// malformed, the first reader's result alone stands, as if the text had been read in one go.
CardsRead readCardsOnTwoCores(std::string_view text, std::size_t linesBefore, bool piece, bool encode,
                              const VCardLegacyText& legacy) {
  constexpr std::size_t kTextForTwoParts = 1 << 20;
  constexpr std::size_t kBytesPerCardGuess = 256;
  CardsRead first, second;
  first.encode = second.encode = encode;
  std::atomic<bool> cancel{false};
  auto reader = [piece](std::string_view part, std::size_t lines) {
    VCardLineReader reader(part, lines);
    if (piece) reader.readPieceOfLongerText();
    return reader;
  };
  std::size_t split = text.size() >= kTextForTwoParts ? cardStartNearMiddle(text) : std::string_view::npos;
  if (split == std::string_view::npos) {
    VCardLineReader whole = reader(text, linesBefore);
    readCards(whole, first, cancel, legacy);
    return first;
  }
  std::string_view secondPart = text.substr(split);
  parallelFor(2, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t part = begin; part < end; ++part) {
      try {
        if (part == 0) {
          if (encode)
            first.encoded.reserve(split / kBytesPerCardGuess, split);  // an encoding is smaller than its card
          else
            first.persons.reserve(split / kBytesPerCardGuess);
          VCardLineReader firstReader = reader(text, linesBefore);
          firstReader.stopAt(split);
          readCards(firstReader, first, cancel, legacy);
          // The second part was read in vain: the first reader went past the point.
          if (!first.stopped) cancel.store(true, std::memory_order_relaxed);
        } else if (!cancel.load(std::memory_order_relaxed)) {
          if (encode)
            second.encoded.reserve(secondPart.size() / kBytesPerCardGuess, secondPart.size());
          else
            second.persons.reserve(secondPart.size() / kBytesPerCardGuess);
          // The lines before the second part are counted by its own thread, while the first is read.
          VCardLineReader secondReader = reader(secondPart, linesBefore + lineFeedsIn(text.substr(0, split)));
          readCards(secondReader, second, cancel, legacy);
        }
      } catch (...) {
        cancel.store(true, std::memory_order_relaxed);  // the other part stops early, then this throws on
        throw;
      }
    }
  });
  if (!first.stopped) return first;
  if (second.error) return second;
  first.persons.insert(first.persons.end(), std::make_move_iterator(second.persons.begin()),
                       std::make_move_iterator(second.persons.end()));
  first.encoded.append(std::move(second.encoded));
  addLegacyCounts(first.legacy, second.legacy);
  first.unfinished = second.unfinished;
  if (first.unfinished) first.unfinished->position += split;
  first.linesRead = second.linesRead;
  first.stopped = false;
  return first;
}

constexpr std::size_t kPersonsPerThread = 1000;

// Gives a new unique id to every person whose id is missing, in the book or taken by an earlier
// person of the list. The group cards of the list then name the persons whose id the book had by
// their new ids (a second card of an id the list gave already is not the one its groups meant).
void settleUniqueIds(const ABAddressBook& book, const std::vector<ABPersonData*>& persons) {
  auto hasOwnId = [](const ABPersonData* data) {
    const std::string* uid = data->string(kABUIDProperty);
    return uid && !uid->empty();
  };
  // Without ids of their own, every person gets a new id when it is made (ABPerson).
  if (std::none_of(persons.begin(), persons.end(), hasOwnId)) return;
  std::unordered_set<std::string> given;
  given.reserve(persons.size());
  std::unordered_map<std::string, std::string> renamed;  // the book's id -> the new one
  for (ABPersonData* data : persons) {
    const std::string* uid = data->string(kABUIDProperty);
    if (!uid || uid->empty() || given.count(*uid) || book.recordForUniqueId(*uid)) {
      const std::string old = uid ? *uid : std::string();
      data->set(kABUIDProperty, ABPerson::makeUniqueId());
      uid = data->string(kABUIDProperty);
      if (!old.empty() && !given.count(old)) renamed.emplace(old, *uid);
    }
    given.insert(*uid);
  }
  for (ABPersonData* data : persons)
    if (ABGroups::isGroupCard(*data)) ABGroups::renameMembers(*data, renamed);
}

}  // namespace

VCardImportResult VCardImporter::importText(std::string_view text, const std::string& sourceName,
                                            std::string_view legacyCharset) {
  VCardImportResult result;
  std::string converted;
  if (startsUtf16(text)) {
    if (!utf16ToUtf8(text, converted)) {
      result.error = located(sourceName, 1, "the UTF-16 text cannot be read");
      return result;
    }
    text = converted;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Lines that end in a carriage return alone (old Mac exports) are read as lines.
  std::string lineFeeds;
  if (text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos) {
    lineFeeds.assign(text);
    std::replace(lineFeeds.begin(), lineFeeds.end(), '\r', '\n');
    text = lineFeeds;
  }

  const VCardLegacyText legacy(std::string(legacyCharset), [text] { return firstLegacyCharsetIn(text); });
  CardsRead cards = readCardsOnTwoCores(text, 0, false, false, legacy);
  if (cards.error) {
    result.error = located(sourceName, cards.error->line, cards.error->message);
    return result;
  }
  if (cards.persons.empty()) {
    result.error = noCard(sourceName);
    return result;
  }
  result.persons = std::move(cards.persons);
  result.legacy = std::move(cards.legacy);
  return result;
}

namespace {

// 2500 -> "2,500"
std::string withThousands(std::size_t count) {
  std::string digits = std::to_string(count), text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// The memory the system can still give without swapping (MemAvailable), if it says.
std::optional<std::size_t> availableMemory() {
  std::FILE* file = std::fopen("/proc/meminfo", "r");
  if (!file) return std::nullopt;
  std::optional<std::size_t> available;
  char line[256];
  unsigned long long kilobytes = 0;
  while (std::fgets(line, sizeof line, file)) {
    if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
      available = static_cast<std::size_t>(kilobytes) * 1024;
      break;
    }
  }
  std::fclose(file);
  return available;
}

// The start of the last line of text that begins a property rather than continuing one (a line
// start followed by a character other than space or tab) at or after position from and past 0;
// npos when there is none. Everything before it is whole lines whose folded continuations are all
// there.
std::size_t lastPropertyLineStart(std::string_view text, std::size_t from) {
  // Only the text from there on is looked at: a line longer than a piece is not looked at again
  // with each piece that adds to it.
  const std::size_t begin = from > 0 ? from - 1 : 0;
  const std::string_view part = text.substr(std::min(begin, text.size()));
  for (std::size_t newline = part.rfind('\n'); newline != std::string_view::npos;
       newline = newline > 0 ? part.rfind('\n', newline - 1) : std::string_view::npos) {
    const std::size_t start = begin + newline + 1;
    if (start < text.size() && text[start] != ' ' && text[start] != '\t') return start;
  }
  return std::string_view::npos;
}

// Whether a line of text that starts at or after position from begins with END (any case).
bool holdsEndLine(std::string_view text, std::size_t from) {
  for (std::size_t newline = text.find('\n', from > 0 ? from - 1 : 0); newline != std::string_view::npos;
       newline = text.find('\n', newline + 1)) {
    if (equalsIgnoringCase(text.substr(newline + 1, 3), "END")) return true;
  }
  return false;
}

std::string tooLarge(const std::string& name, std::size_t contacts, const std::string& how) {
  return name + ": the file does not fit into the memory available (" + how + " after reading " +
         withThousands(contacts) + (contacts == 1 ? " contact)" : " contacts)");
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads a file piece by piece: each piece is read up to its last line that begins a property, and
// what follows, with a card still open at that point, goes on to the next piece; so memory holds
// about one piece beside the persons read. UTF-16 files (rare, small) are read whole.
class PieceByPiece {
 public:
  // With sink, the persons of each piece go to it as soon as they are read, instead of being kept
  // for the result.
  using Sink = std::function<void(std::vector<ABPersonData>&)>;
  // With encodedSink, the persons of each piece are encoded for the store where they are read.
  using EncodedSink = std::function<void(EncodedPersons&)>;
  PieceByPiece(std::FILE* file, std::string name, const VCardReadLimits& limits, Sink sink = {},
               EncodedSink encodedSink = {})
      : file_(file),
        fileSize_(sizeOf(file)),
        name_(std::move(name)),
        limits_(limits),
        legacy_(limits.legacyCharset, [file] { return firstLegacyCharsetInFile(fileno(file)); }),
        sink_(std::move(sink)),
        encodedSink_(std::move(encodedSink)) {
    limits_.pieceSize = std::max<std::size_t>(limits_.pieceSize, 64);
  }

  VCardImportResult read(std::size_t& contacts) {
    VCardImportResult result;
    bool first = true, atEnd = false;
    std::size_t sinceMemoryCheck = 0;
    while (!atEnd) {
      std::size_t old = buffer_.size();
      if (!readPiece(atEnd)) return failed(std::strerror(errno));
      sinceMemoryCheck += buffer_.size() - old;
      if (first) {
        first = false;
        if (startsUtf16(buffer_)) return readWhole(atEnd, contacts);
        if (std::string_view(buffer_).substr(0, 3) == "\xEF\xBB\xBF") buffer_.erase(0, 3), old = 0;
      }
      if (!settleLineEnds(old, atEnd)) continue;
      if (sinceMemoryCheck >= limits_.memoryCheckEvery) {
        sinceMemoryCheck = 0;
        if (auto available = availableMemory(); available && *available < limits_.memoryFloor) {
          result.error = tooLarge(name_, taken_, std::to_string(*available >> 20) + " MB left");
          return result;
        }
      }
      contacts = taken_;
      if (atEnd) {
        if (!take(readCardsOnTwoCores(buffer_, linesBefore_, false, encoding(), legacy_), result)) return result;
        break;
      }
      // A card larger than what was read so far: read on until its end can be there (each byte
      // is looked at once, a line start cut by the piece's end again).
      if (waitFrom_ != std::string::npos && buffer_.size() < 2 * sizeAtLastTry_ && !holdsEndLine(buffer_, waitFrom_)) {
        waitFrom_ = old > 3 ? old - 3 : 0;
        continue;
      }
      std::size_t cut = lastPropertyLineStart(buffer_, noCutBefore_);
      if (cut == std::string::npos) {
        noCutBefore_ = buffer_.size();  // one long line so far
        // Between cards only a card start or a blank line may come: a megabyte without a line
        // break there is no vCard (a file of zeros, a disk image), refused before it fills memory.
        constexpr std::size_t kLongLine = 1 << 20;
        if (carryOutsideCard_ && buffer_.size() >= kLongLine &&
            std::string_view(buffer_).substr(0, kLongLine).find('\n') == std::string_view::npos &&
            std::string_view(buffer_).substr(0, kLongLine).find_first_not_of(" \t\r") != std::string_view::npos) {
          result.error = located(name_, linesBefore_ + 1, "not a vCard line (a megabyte without a line break)");
          return result;
        }
        continue;
      }
      CardsRead cards =
          readCardsOnTwoCores(std::string_view(buffer_).substr(0, cut), linesBefore_, true, encoding(), legacy_);
      std::size_t carryFrom = cards.unfinished ? cards.unfinished->position : cut;
      linesBefore_ = cards.unfinished ? cards.unfinished->linesBefore : cards.linesRead;
      bool outside = !cards.unfinished;
      if (!take(std::move(cards), result)) return result;
      carryOutsideCard_ = outside;
      if (carryFrom == 0) {
        waitFrom_ = cut;
        sizeAtLastTry_ = buffer_.size();
        noCutBefore_ = buffer_.size();
      } else {
        waitFrom_ = std::string::npos;
        noCutBefore_ = 0;
        buffer_.erase(0, carryFrom);
      }
    }
    contacts = taken_;
    if (taken_ == 0) {
      result.error = noCard(name_);
      return result;
    }
    result.persons = std::move(persons_);
    result.legacy = std::move(legacyCounts_);
    return result;
  }

 private:
  enum class LineEnds { Unknown, LineFeeds, CarriageReturns };

  bool encoding() const { return static_cast<bool>(encodedSink_); }

  // The size of the next piece: the usual size, but towards the end of the file half of what is
  // left, down to an eighth of the usual size, so that what has to be done after the last piece is
  // read (an import into the store: writing that piece's contacts, with nothing else to do) is
  // little. A file whose size is not known (or that grew) is read in pieces of the usual size.
  std::size_t nextPieceSize() const {
    if (fileSize_ <= bytesRead_) return limits_.pieceSize;
    const std::size_t smallest = std::max<std::size_t>(limits_.pieceSize / 8, 64);
    return std::clamp((fileSize_ - bytesRead_) / 2, smallest, limits_.pieceSize);
  }

  // Appends up to one piece to the buffer; atEnd once the file has no more.
  bool readPiece(bool& atEnd) {
    const std::size_t pieceSize = nextPieceSize();
    std::size_t old = buffer_.size();
    buffer_.resize(old + pieceSize);
    std::size_t got = std::fread(buffer_.data() + old, 1, pieceSize, file_);
    bytesRead_ += got;
    buffer_.resize(old + got);
    if (got < pieceSize) {
      if (std::ferror(file_)) return false;
      atEnd = true;
    }
    return true;
  }

  VCardImportResult failed(const char* why) {
    VCardImportResult result;
    result.error = name_ + ": cannot read the file (" + why + ")";
    return result;
  }

  VCardImportResult readWhole(bool atEnd, std::size_t& contacts) {
    while (!atEnd)
      if (!readPiece(atEnd)) return failed(std::strerror(errno));
    VCardImportResult whole = VCardImporter::importText(buffer_, name_, limits_.legacyCharset);
    if (whole.ok()) contacts = taken_ = whole.persons.size();
    if (whole.ok() && (sink_ || encodedSink_)) {
      if (encodedSink_) {
        EncodedPersons encoded;
        for (ABPersonData& person : whole.persons) encoded.add(person);
        encodedSink_(encoded);
      } else {
        sink_(whole.persons);
      }
      whole.persons.clear();
    }
    return whole;
  }

  // Lines that end in a carriage return alone (old Mac exports) are read as lines: a file is taken
  // for one when no line feed comes before its end or its first 16 MB. False while it is not known.
  bool settleLineEnds(std::size_t newFrom, bool atEnd) {
    constexpr std::size_t kKnownAfter = 16 << 20;
    if (lineEnds_ == LineEnds::Unknown) {
      if (buffer_.find('\n', newFrom) != std::string::npos) {
        lineEnds_ = LineEnds::LineFeeds;
      } else if (atEnd || buffer_.size() >= kKnownAfter) {
        lineEnds_ = buffer_.find('\r') != std::string::npos ? LineEnds::CarriageReturns : LineEnds::LineFeeds;
        newFrom = 0;
      } else {
        return false;
      }
    }
    if (lineEnds_ == LineEnds::CarriageReturns) std::replace(buffer_.begin() + newFrom, buffer_.end(), '\r', '\n');
    return true;
  }

  // Keeps the persons read; false (and the error in result) when the text was malformed.
  bool take(CardsRead cards, VCardImportResult& result) {
    if (cards.error) {
      result.error = located(name_, cards.error->line, cards.error->message);
      return false;
    }
    taken_ += cards.encode ? cards.encoded.size() : cards.persons.size();
    addLegacyCounts(legacyCounts_, cards.legacy);
    if (encodedSink_)
      encodedSink_(cards.encoded);
    else if (sink_)
      sink_(cards.persons);
    else if (persons_.empty())
      persons_ = std::move(cards.persons);
    else
      persons_.insert(persons_.end(), std::make_move_iterator(cards.persons.begin()),
                      std::make_move_iterator(cards.persons.end()));
    return true;
  }

  // The size of a regular file, else 0.
  static std::size_t sizeOf(std::FILE* file) {
    struct stat status;
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) ? static_cast<std::size_t>(status.st_size) : 0;
  }

  std::FILE* file_;
  std::size_t fileSize_;
  std::size_t bytesRead_ = 0;  // from the file so far
  std::string name_;
  VCardReadLimits limits_;
  VCardLegacyText legacy_;
  VCardLegacyCounts legacyCounts_;
  std::string buffer_;  // the text not read yet: what the last piece carried over, then the new piece
  std::size_t linesBefore_ = 0;
  LineEnds lineEnds_ = LineEnds::Unknown;
  std::size_t waitFrom_ = std::string::npos;  // when the buffer is one card still open: where its end may be
  std::size_t sizeAtLastTry_ = 0;
  std::size_t noCutBefore_ = 0;
  bool carryOutsideCard_ = true;  // the buffer starts between two cards (or at the file's start)  // the buffer holds
                                  // no place to cut before this position
  std::vector<ABPersonData> persons_;
  Sink sink_;
  EncodedSink encodedSink_;
  std::size_t taken_ = 0;  // persons read so far
};

}  // namespace

VCardImportResult VCardImporter::importFile(const std::filesystem::path& path, const VCardReadLimits& limits) {
  std::string name = path.string();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) {
    VCardImportResult result;
    result.error = name + ": cannot read the file (" + std::strerror(errno) + ")";
    return result;
  }
  std::size_t contacts = 0;
  try {
    PieceByPiece reading(file.get(), name, limits);
    return reading.read(contacts);
  } catch (const std::bad_alloc&) {
    // Everything read is freed by now.
    VCardImportResult result;
    result.error = tooLarge(name, contacts, "memory ran out");
    return result;
  }
}

namespace {

// Why the reading of an import written straight to the store stopped.
struct VCardReadFailure {
  std::string error;
  std::size_t file = 0;
};

}  // namespace

VCardStoreImport appendVCardFilesToStore(ABAddressBook& book, const std::vector<std::filesystem::path>& paths,
                                         const VCardReadLimits& limits) {
  VCardStoreImport import;
  std::vector<VCardFileImport> files;
  auto batches = [&](const std::function<void(EncodedPersons&)>& add) {
    files.clear();
    for (const auto& path : paths) {
      std::string name = path.string();
      std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
      if (!file) throw VCardReadFailure{name + ": cannot read the file (" + std::strerror(errno) + ")", files.size()};
      std::size_t contacts = 0;
      VCardImportResult read;
      try {
        read = PieceByPiece(file.get(), name, limits, {}, add).read(contacts);
      } catch (const std::bad_alloc&) {
        throw VCardReadFailure{tooLarge(name, contacts, "memory ran out"), files.size()};
      }
      if (!read.ok()) throw VCardReadFailure{read.error, files.size()};
      files.push_back({path, contacts, 0, std::move(read.legacy)});
    }
  };
  try {
    import.saved = book.appendEncodedPersons(
        batches, [&](std::size_t) { return describeVCardImport(files);
  }, import.uids);
}
catch (const VCardReadFailure& failure) {
  import.error = failure.error;
  import.failedFile = failure.file;
  return import;
}
if (import.saved.ok()) import.files = std::move(files);
return import;
}

VCardFilesRead readVCardFiles(const std::vector<std::filesystem::path>& paths, const VCardReadLimits& limits) {
  VCardFilesRead read;
  for (const auto& path : paths) {
    VCardImportResult file = VCardImporter::importFile(path, limits);
    if (!file.ok()) {
      if (!read.error.empty()) read.error += "\n";
      read.error += file.error;
      read.unreadable.push_back(std::move(file.error));
      continue;
    }
    read.files.push_back({path, file.persons.size(), 0, std::move(file.legacy)});
    read.persons.push_back(std::move(file.persons));
  }
  return read;
}

std::string vCardFileProblem(const std::filesystem::path& path, const VCardReadLimits& limits) {
  std::string name = path.string();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) return name + ": cannot read the file (" + std::strerror(errno) + ")";
  std::size_t contacts = 0;
  try {
    // The cards are dropped as they are read: only whether the file reads matters.
    return PieceByPiece(file.get(), name, limits, [](std::vector<ABPersonData>& persons) { persons.clear(); })
        .read(contacts)
        .error;
  } catch (const std::bad_alloc&) {
    return tooLarge(name, contacts, "memory ran out");
  }
}

VCardBookImportResult importVCardFilesIntoAddressBook(ABAddressBook& book,
                                                      const std::vector<std::filesystem::path>& paths) {
  return addVCardFilesToAddressBook(book, readVCardFiles(paths));
}

VCardBookImportResult addVCardFilesToAddressBook(ABAddressBook& book, VCardFilesRead read) {
  VCardBookImportResult result;
  if (!read.ok()) {
    result.error = std::move(read.error);
    return result;
  }
  result.files = std::move(read.files);
  std::vector<std::vector<ABPersonData>>& files = read.persons;

  std::vector<ABPersonData*> all;
  for (auto& persons : files)
    for (auto& data : persons) all.push_back(&data);
  settleUniqueIds(book, all);

  // The persons are made on every core, each range in its own place of the list.
  std::vector<ABPersonRef> added(all.size());
  parallelFor(all.size(), kPersonsPerThread, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) added[i] = std::make_shared<ABPerson>(std::move(*all[i]));
  });
  all.clear();
  files.clear();
  std::string error;
  if (!book.addRecords(added, &error)) {
    result.files.clear();
    result.error = "cannot add a contact to the address book: " + error;
    return result;
  }
  result.added = std::move(added);
  book.setNextChangeDescription(describeVCardImport(result.files));
  return result;
}

std::size_t countVCardUidsInAddressBook(const ABAddressBook& book, const VCardFilesRead& read) {
  std::size_t found = 0;
  for (const auto& persons : read.persons) {
    for (const auto& data : persons) {
      const std::string* uid = data.string(kABUIDProperty);
      if (uid && !uid->empty() && book.recordForUniqueId(*uid)) ++found;
    }
  }
  return found;
}

VCardBookImportResult updateVCardFilesInAddressBook(ABAddressBook& book, VCardFilesRead read) {
  if (!read.ok()) return addVCardFilesToAddressBook(book, std::move(read));
  // The cards of persons already in the book replace their values; the others are added as usual.
  std::unordered_set<std::string> met;
  std::vector<std::pair<ABPersonRef, ABPersonData*>> replacements;
  VCardFilesRead added;
  added.files = read.files;
  for (std::size_t file = 0; file < read.persons.size(); ++file) {
    added.persons.emplace_back();
    for (auto& data : read.persons[file]) {
      const std::string* uid = data.string(kABUIDProperty);
      ABPersonRef existing = uid && !uid->empty() && !met.count(*uid) ? book.recordForUniqueId(*uid) : nullptr;
      if (uid && !uid->empty()) met.insert(*uid);
      if (existing) {
        replacements.emplace_back(existing, &data);
        if (file < added.files.size()) ++added.files[file].updated;
      } else {
        added.persons.back().push_back(std::move(data));
      }
    }
  }
  std::vector<std::pair<ABPersonRef, ABPersonData>> values;
  values.reserve(replacements.size());
  for (auto& [person, data] : replacements) values.emplace_back(person, std::move(*data));
  read.persons.clear();
  VCardBookImportResult result = addVCardFilesToAddressBook(book, std::move(added));
  if (!result.ok()) return result;
  for (auto& [person, data] : values) {
    person->replaceData(std::move(data));
    result.updated.push_back(person);
  }
  if (!values.empty())
    book.setNextChangeDescription(describeVCardImport(result.files) + " (" + std::to_string(values.size()) +
                                  (values.size() == 1 ? " contact" : " contacts") + " updated)");
  return result;
}

std::vector<std::string> describeVCardFileImport(const VCardFileImport& file, bool update) {
  std::vector<std::string> lines;
  auto contacts = [](std::size_t count) { return std::to_string(count) + (count == 1 ? " contact" : " contacts"); };
  if (update)
    lines.push_back("Read " + contacts(file.contacts) + " from " + file.path.string() + ": " +
                    std::to_string(file.updated) + " updated, " + std::to_string(file.contacts - file.updated) +
                    " added");
  else
    lines.push_back("Imported " + contacts(file.contacts) + " from " + file.path.string());
  for (std::string& line : describeLegacyText(file.legacy)) lines.push_back(std::move(line));
  return lines;
}

std::string describeVCardImport(const std::vector<VCardFileImport>& files) {
  std::size_t contacts = 0;
  for (const auto& file : files) contacts += file.contacts;
  std::string text = "Imported " + withThousands(contacts) + (contacts == 1 ? " contact" : " contacts") + " from ";
  if (files.size() == 1) return text + files.front().path.filename().string();
  return text + std::to_string(files.size()) + " files";
}
