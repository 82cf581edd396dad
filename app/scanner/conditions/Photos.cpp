#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/PhotoLimits.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/SimilarContacts.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "platform/image/Photo.h"

namespace ScannerConditions {

namespace {

const std::string kLargeKey = "LargePhoto";
const std::string kSharedKey = "SharedPhoto";

class Sets {
 public:
  explicit Sets(size_t size) : parent_(size) { std::iota(parent_.begin(), parent_.end(), size_t{0}); }
  size_t find(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void join(size_t a, size_t b) {
    a = find(a);
    b = find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<size_t> parent_;
};

// A hash of what tells photos apart fastest: the length, and a few kilobytes at each end.
size_t quickHash(std::string_view bytes) {
  constexpr size_t kEnd = 4096;
  const std::hash<std::string_view> hash;
  size_t h = hash(bytes.substr(0, kEnd)) ^ (bytes.size() * 0x9E3779B97F4A7C15ull);
  if (bytes.size() > kEnd) h ^= hash(bytes.substr(bytes.size() - std::min(kEnd, bytes.size() - kEnd))) * 31;
  return h;
}

// Joins the photos (positions of `photos`) that `same` finds alike: only those of one quick key are
// given their full key, and only those of one full key are compared, the first of each kind with
// the next.
template <typename QuickKey, typename FullKey, typename Same>
void joinAlike(const std::vector<size_t>& candidates, QuickKey quickKey, FullKey fullKey, Same same, Sets& sets) {
  std::unordered_map<size_t, std::vector<size_t>> byQuickKey;
  for (size_t c : candidates) byQuickKey[quickKey(c)].push_back(c);
  for (auto& [quick, alike] : byQuickKey) {
    if (alike.size() < 2) continue;
    std::unordered_map<size_t, std::vector<size_t>> byFullKey;
    for (size_t c : alike) byFullKey[fullKey(c)].push_back(c);
    for (auto& [full, members] : byFullKey) {
      if (members.size() < 2) continue;
      std::vector<size_t> kinds;  // the first photo of each picture met under the key
      for (size_t m : members) {
        bool joined = false;
        for (size_t k : kinds)
          if (sets.find(k) == sets.find(m) || same(k, m)) {
            sets.join(k, m);
            joined = true;
            break;
          }
        if (!joined) kinds.push_back(m);
      }
    }
  }
}

// The values of candidates that share a length (or another cheap key) with another.
template <typename KeyOf>
std::vector<size_t> sharingKey(const std::vector<size_t>& all, KeyOf keyOf) {
  std::unordered_map<size_t, size_t> count;
  for (size_t c : all) ++count[keyOf(c)];
  std::vector<size_t> sharing;
  for (size_t c : all)
    if (count[keyOf(c)] > 1) sharing.push_back(c);
  return sharing;
}

size_t partsLength(const std::vector<std::string_view>& parts) {
  size_t length = 0;
  for (std::string_view part : parts) length += part.size();
  return length;
}

}  // namespace

std::optional<std::string> largePhotoReason(std::string_view photo) {
  const PhotoLimits limits = PhotoLimits::current();
  const std::optional<Photo::Header> header = Photo::readHeader(photo, false, nullptr);
  if (!header) return "unreadable";
  std::string reason;
  if (photo.size() > limits.bytes())
    reason = Photo::kilobytes(photo.size()) + ", over " + std::to_string(limits.kilobytes) + " KB";
  if (header->longerSide() > limits.pixels) {
    if (!reason.empty()) reason += "; ";
    reason += std::to_string(header->shownWidth()) + " \xC3\x97 " + std::to_string(header->shownHeight()) +
              " pixels, over " + std::to_string(limits.pixels);
  }
  if (reason.empty()) return std::nullopt;
  return reason;
}

bool hasLargePhoto(const PersonValues& values) {
  return values.photo && !values.photo->empty() && largePhotoReason(*values.photo).has_value();
}

std::string photoDigest(std::string_view photo) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string_view>()(photo));
  return "photo of " + std::to_string(photo.size()) + " bytes #" + hash;
}

bool samePicture(std::string_view photo, std::string_view other) {
  if (photo == other) return true;
  const std::string key = Photo::pictureKey(photo);
  if (!key.empty() && key == Photo::pictureKey(other)) return true;
  if (!Photo::isLossless(photo) || !Photo::isLossless(other)) return false;
  const auto a = Photo::readHeader(photo, false, nullptr), b = Photo::readHeader(other, false, nullptr);
  if (!a || !b || a->width != b->width || a->height != b->height) return false;
  const auto pixels = Photo::decode(photo, 0, nullptr);
  return pixels && pixels == Photo::decode(other, 0, nullptr);
}

std::vector<size_t> sharedPhotos(const ScanSnapshot& snapshot, const std::string& region) {
  std::vector<std::string_view> photos;  // of the holders, in store order
  std::vector<size_t> holders;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (snapshot.values[i].photo && !snapshot.values[i].photo->empty()) {
      holders.push_back(i);
      photos.push_back(*snapshot.values[i].photo);
    }
  Sets pictures(photos.size());
  std::vector<size_t> all(photos.size());
  std::iota(all.begin(), all.end(), size_t{0});

  // Equal bytes: only photos of one length are hashed, and only a few kilobytes of them, before
  // the bytes are compared.
  const std::hash<std::string_view> hash;
  joinAlike(
      sharingKey(all, [&](size_t c) { return photos[c].size(); }), [&](size_t c) { return quickHash(photos[c]); },
      [&](size_t c) { return hash(photos[c]); }, [&](size_t a, size_t b) { return photos[a] == photos[b]; }, pictures);

  // The same coded picture with other bytes around it: its parts are found in the headers, and only
  // photos whose parts have one length are compared.
  std::vector<std::vector<std::string_view>> parts(photos.size());
  std::vector<size_t> coded;
  for (size_t c = 0; c < photos.size(); ++c) {
    if (Photo::formatOf(photos[c]) == Photo::Format::kGif) continue;  // its key is its bytes
    parts[c] = Photo::pictureParts(photos[c]);
    if (!parts[c].empty()) coded.push_back(c);
  }
  auto partsKey = [&](size_t c) { return partsLength(parts[c]) * 8 + static_cast<size_t>(Photo::formatOf(photos[c])); };
  auto partsHash = [&](size_t c, auto partHash) {
    size_t h = partsKey(c);
    for (std::string_view part : parts[c]) h = h * 1099511628211ull ^ partHash(part);
    return h;
  };
  joinAlike(
      sharingKey(coded, partsKey), [&](size_t c) { return partsHash(c, quickHash); },
      [&](size_t c) { return partsHash(c, hash); },
      [&](size_t a, size_t b) { return Photo::pictureKey(photos[a]) == Photo::pictureKey(photos[b]); }, pictures);

  // Pictures stored without loss (a logo as PNG, GIF or lossless WebP) are compared by their pixels
  // when they are of one size: only those are decoded.
  std::vector<size_t> lossless;
  std::vector<std::pair<int, int>> sizes(photos.size());
  for (size_t c = 0; c < photos.size(); ++c) {
    if (!Photo::isLossless(photos[c])) continue;
    if (const auto header = Photo::readHeader(photos[c], false, nullptr)) {
      sizes[c] = {header->width, header->height};
      lossless.push_back(c);
    }
  }
  auto sizeKey = [&](size_t c) {
    return static_cast<size_t>(sizes[c].first) * 1000003u + static_cast<size_t>(sizes[c].second);
  };
  std::vector<size_t> sameSize = sharingKey(lossless, sizeKey);
  // Only a hash of each one's pixels is kept: pixels take far more room than the bytes they came from.
  std::unordered_map<size_t, size_t> pixelsHash;
  for (size_t c : sameSize)
    if (auto pixels = Photo::decode(photos[c], 0, nullptr))
      pixelsHash.emplace(c, sizeKey(c) ^ hash(std::string_view(reinterpret_cast<const char*>(pixels->rgba.data()),
                                                               pixels->rgba.size())));
  std::erase_if(sameSize, [&](size_t c) { return !pixelsHash.count(c); });
  auto hashOf = [&](size_t c) { return pixelsHash.at(c); };
  joinAlike(
      sameSize, hashOf, hashOf,
      [&](size_t a, size_t b) { return Photo::decode(photos[a], 0, nullptr) == Photo::decode(photos[b], 0, nullptr); },
      pictures);

  // The photos shown by more than one person, and who among their holders is the same person: of one
  // duplicate group (unless the user said they are not the same person) or similar contacts.
  std::unordered_map<size_t, std::vector<size_t>> byPicture;
  for (size_t c = 0; c < photos.size(); ++c) byPicture[pictures.find(c)].push_back(c);
  std::vector<size_t> sharing;
  for (const auto& [picture, members] : byPicture)
    if (members.size() > 1) sharing.insert(sharing.end(), members.begin(), members.end());
  if (sharing.empty()) return {};
  std::sort(sharing.begin(), sharing.end());
  Sets people(sharing.size());
  std::unordered_map<std::string, size_t> byDuplicateKey;
  for (size_t s = 0; s < sharing.size(); ++s) {
    const PersonValues& values = snapshot.values[holders[sharing[s]]];
    const auto key = ScanAddressBook::duplicateGroupKey(values);
    if (!key) continue;
    auto [it, added] = byDuplicateKey.try_emplace(*key, s);
    if (added) continue;
    const PersonValues& first = snapshot.values[holders[sharing[it->second]]];
    if (values.uid && first.uid && snapshot.notSamePerson.covers({std::string(*values.uid), std::string(*first.uid)}))
      continue;
    people.join(it->second, s);
  }
  ScanSnapshot holding;
  holding.notSamePerson = snapshot.notSamePerson;
  for (size_t c : sharing) holding.values.push_back(snapshot.values[holders[c]]);
  const PhoneNumbers phones(region);
  for (const auto& group : ScanFinders::similarContacts(holding, ScanFinders::phoneReadings(holding, phones, false),
                                                        phones, std::vector<std::vector<std::string>>{}))
    for (size_t m = 1; m < group.members.size(); ++m) people.join(group.members[0], group.members[m]);

  std::unordered_map<size_t, size_t> position;  // of a photo among `sharing`
  for (size_t s = 0; s < sharing.size(); ++s) position[sharing[s]] = s;
  std::vector<size_t> found;
  for (const auto& [picture, members] : byPicture) {
    if (members.size() < 2) continue;
    const size_t firstPerson = people.find(position[members.front()]);
    const bool different =
        std::any_of(members.begin(), members.end(), [&](size_t c) { return people.find(position[c]) != firstPerson; });
    if (!different) continue;
    for (size_t c : members) found.push_back(holders[c]);
  }
  std::sort(found.begin(), found.end());
  if (!snapshot.keptAsItIs.empty())
    std::erase_if(found, [&](size_t i) {
      const PersonValues& values = snapshot.values[i];
      return values.uid &&
             snapshot.keptAsItIs.keeps(std::string(*values.uid), keptList(kSharedKey, {photoDigest(*values.photo)}));
    });
  return found;
}

ScanCondition largePhoto() {
  // A mark keeps the photo while it is the same photo.
  return {"Photo too large",
          kLargeKey,
          &ScanAddressBook::findPersonsMeeting<&hasLargePhoto>,
          &hasLargePhoto,
          ScanCondition::Task::kPersonTest,
          [](const PersonValues& values) {
            return keptList(kLargeKey, {photoDigest(values.photo ? *values.photo : std::string_view())});
          }};
}

ScanCondition sharedPhoto() {
  return {"Same photo on different people", kSharedKey, &ScanAddressBook::findSharedPhotos, nullptr,
          ScanCondition::Task::kSharedPhotos};
}

}  // namespace ScannerConditions
