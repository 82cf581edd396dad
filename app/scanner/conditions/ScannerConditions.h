#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scanner/ScanConditions.h"
#include "app/scanner/ScanSnapshot.h"

// The scanner's entries of the conditions that have a file of their own here (the first sixteen are
// written out in ScanConditions.cpp), with what their review halves read of a person.
namespace ScannerConditions {

ScanCondition damagedText();
ScanCondition nameCase();
ScanCondition unlikelyDate();
ScanCondition unreachable();
ScanCondition groupWrittenDifferently();
ScanCondition emptyGroup();
ScanCondition largePhoto();
ScanCondition sharedPhoto();

// Where one text of a person is: a property's own text, the text of a list entry, one key of a
// dictionary entry, or an entry's label.
struct TextPlace {
  std::string property;
  int index = -1;      // the entry of a list; -1 for the property's own text
  std::string key;     // the key of a dictionary entry, else empty
  bool label = false;  // the label of the entry
  bool operator==(const TextPlace&) const = default;
};

// One text of a person changed: where, what it is to the user ("first name"), before and after.
struct TextChange {
  TextPlace place;
  std::string what;
  std::string before;
  std::string after;
};

// "Damaged text": the exact repair of every damaged text of the person, in the order of its values;
// `lost` gets the texts holding characters lost to U+FFFD, which no repair brings back.
std::vector<TextChange> textRepairs(const PersonValues& values, std::vector<TextChange>* lost = nullptr);
bool hasDamagedText(const PersonValues& values);

// "Name in capitals or small letters": each name written as a name.
std::vector<TextChange> nameRewrites(const PersonValues& values);
bool hasNameInOneCase(const PersonValues& values);

// "Birthday that cannot be right", on the person alone: in the future (after `today`), before 1900
// (the store's year-less form, 1604, aside), or on a year other programs write for "no year"
// (1900-01-01, 1970-01-01). The words of the reason; nullopt when the birthday may be right.
std::optional<std::string> unlikelyBirthday(const ABDate& birthday, const ABDate& today);
// Today's date where the program runs.
ABDate today();
// The persons whose birthday cannot be right alone, or who share a duplicate group of a full name
// (first and last) with a person of another birthday; in store order.
std::vector<size_t> unlikelyDates(const ScanSnapshot& snapshot);

// "Contact that cannot be reached": no e-mail address, phone number, address, URL, instant message
// or social profile, and no note.
bool isUnreachable(const PersonValues& values);

// "Same group written differently": group names equal once letter case, accents and white space
// are left aside ("Family", "family ", "FAMILY"; "Famille" is another name).
std::string groupNameKey(std::string_view name);
// How many records (persons by their categories, group cards by their names) use each group name,
// in the order first met.
using GroupNameUses = std::vector<std::pair<std::string, size_t>>;
GroupNameUses groupNameUses(const std::vector<ABPersonSnapshot>& records);
GroupNameUses groupNameUses(const ScanSnapshot& snapshot);
// For each name written another way more often: the spelling used most (the first met of those
// used as often), keyed by the name as written. Names that are the most used stay out.
std::vector<std::pair<std::string, std::string>> groupRenames(const GroupNameUses& uses);
// The group names of one record (its categories, or a group card's name).
std::vector<std::string> groupNamesOf(const ABPersonData& record);
// The records (ScanSnapshot::records()) holding a name of groupRenames; in store order, persons
// first.
std::vector<size_t> groupsWrittenDifferently(const ScanSnapshot& snapshot);
// "Empty group": the group cards without any member (indexes of ScanSnapshot::records()).
std::vector<size_t> emptyGroups(const ScanSnapshot& snapshot);

// "Photo too large": why the photo is listed, with the limits in use (PhotoLimits::current()):
// "unreadable" when no library reads its header, else its bytes or its longer side over the limits
// ("312 KB, over 256 KB"; "2000 × 1500 pixels, over 1024"). nullopt when it is within them. Only
// the header is read.
std::optional<std::string> largePhotoReason(std::string_view photo);
bool hasLargePhoto(const PersonValues& values);
// What a "Keep as it is" mark holds of a photo: its length and a hash of its bytes.
std::string photoDigest(std::string_view photo);
// Whether two photos show the same picture: equal bytes, the same coded picture
// (Photo::pictureKey), or, both stored without loss, equal pixels.
bool samePicture(std::string_view photo, std::string_view other);
// "Same photo on different people": the persons whose photo shows the same picture as another
// person's who is not the same person (not of one duplicate group, not similar contacts, read for
// the region); in store order. Photos are compared by their lengths and hashes first; only photos
// stored without loss of equal size are decoded.
std::vector<size_t> sharedPhotos(const ScanSnapshot& snapshot, const std::string& region);

// The texts a "Keep as it is" mark holds for a finding of the condition: its key, then `values`.
std::vector<std::string> keptList(const std::string& key, std::vector<std::string> values);

}  // namespace ScannerConditions
