#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "ABAddressBook.h"

// Kinds of marks (ABAddressBook::addMark) that the program records.
namespace ABMarkKind {
// "Not the same person": the persons of the mark are distinct people. A mark with a value is about
// that value (an e-mail address they share); without one it is about the persons themselves.
inline const std::string kNotSamePerson = "distinct";
// "Keep as it is" for phone numbers not in international form: over one person, the numbers kept
// as written (their texts, one value of a list: ABMarkCover::valueOfList).
inline const std::string kKeptPhoneFormat = "kept-phone-format";
// "Keep as it is" for a finding of another condition about one person: the condition's key, then
// the values kept as they are (one value of a list: ABMarkCover::valueOfList). The finding is
// listed again once one of its values is other than kept.
inline const std::string kKeptAsItIs = "kept-as-it-is";
}  // namespace ABMarkKind

// The marks of one kind in effect, read once, answering whether a set of persons is covered:
// every two of them appear together in one mark.
class ABMarkCover {
 public:
  ABMarkCover() = default;
  // Reads the marks of the kind; with none (or when they cannot be read) nothing is covered.
  ABMarkCover(const ABAddressBook& book, const std::string& kind);
  // The marks given (of one kind, read from the store by the caller).
  explicit ABMarkCover(std::vector<ABMark> marks);

  bool empty() const { return marks_.empty(); }
  // True when there are at least two persons and every two of them are together in a mark of any
  // value.
  bool covers(const std::vector<std::string>& uids) const;
  // The same, counting only marks of this value.
  bool coversForValue(const std::vector<std::string>& uids, const std::string& value) const;
  // True when every text is an item of the list value of a mark over this person (any of them).
  // Nothing is kept for an empty list of texts.
  bool keeps(const std::string& uid, const std::vector<std::string>& texts) const;
  // Every item of the list values of the marks over this person.
  std::vector<std::string> keptFor(const std::string& uid) const;
  // The marks read, in the order they were made.
  const std::vector<ABMark>& marks() const { return marks_; }

  // A list of texts as one mark value and back (every text kept exactly, new lines too).
  static std::string valueOfList(const std::vector<std::string>& texts);
  static std::vector<std::string> listOfValue(const std::string& value);

 private:
  void index();
  bool covers(const std::vector<std::string>& uids, const std::string* value) const;

  std::vector<ABMark> marks_;
  // Unique id -> the indexes of the marks holding it, ascending.
  std::unordered_map<std::string, std::vector<size_t>> byUid_;
};
