#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/PhotoLimits.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"
#include "platform/image/Photo.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

const std::string kLargeKey = "LargePhoto";
const std::string kSharedKey = "SharedPhoto";

std::string_view photoOf(const ABPersonData& data) {
  const ABBytes* bytes = data.bytes(kABImageDataProperty);
  return bytes ? bytesView(*bytes) : std::string_view();
}

bool unreadable(const RowOf& of) {
  const ABPersonSnapshot data = of.row.person()->snapshot();
  return ScannerConditions::largePhotoReason(photoOf(*data)) == std::optional<std::string>("unreadable");
}

bool confirmRemoval(FixActions& actions, const ABPerson& person) {
  return actions.confirmRemoval("Are you sure you want to remove the photo of " + FixActions::named(person) + " ?",
                                "The photo can be brought back with Edit > Undo.", "Remove");
}

void removePhoto(FixActions& actions, PersonItem* row) {
  if (!confirmRemoval(actions, *actions.person())) return;
  actions.removeProperty(row, kABImageDataProperty, "photo");
}

// --- Photo too large

// "Remove the photo" is offered for a photo no library reads; a photo that reads is shrunk or kept.
void removeUnreadablePhoto(FixActions& actions, PersonItem* row) {
  const ABPersonSnapshot data = actions.person()->snapshot();
  if (ScannerConditions::largePhotoReason(photoOf(*data)) != std::optional<std::string>("unreadable")) {
    actions.fail("the photo of " + FixActions::who(*actions.person()) +
                 " can be read: \"Remove the photo\" is for photos that cannot be; shrink it or keep it");
    return;
  }
  removePhoto(actions, row);
}

std::optional<std::string> largeStale(const FixActions& actions, const PersonItem&) {
  const ABPersonSnapshot data = actions.person()->snapshot();
  const std::string_view photo = photoOf(*data);
  if (photo.empty()) return "it holds no photo now";
  if (!ScannerConditions::largePhotoReason(photo)) return "its photo is within the limits now";
  if (keptAsItIs(actions, kLargeKey, {ScannerConditions::photoDigest(photo)})) return "its photo is kept as it is";
  return std::nullopt;
}

std::string largeDetails(const RowOf& of) {
  const ABPersonSnapshot data = of.row.person()->snapshot();
  const std::string_view photo = photoOf(*data);
  const auto reason = ScannerConditions::largePhotoReason(photo);
  if (reason && *reason == "unreadable") {
    std::string error;
    Photo::readHeader(photo, false, &error);
    return "The photo of this contact cannot be read (" + Photo::kilobytes(photo.size()) + "; " + error +
           "). No program will show it. Removing it can be undone with Edit > Undo.";
  }
  const PhotoLimits limits = PhotoLimits::current();
  return "The photo of this contact is larger than it needs to be: " + Photo::description(photo) + " (" +
         reason.value_or("") + "; the limits are " + std::to_string(limits.kilobytes) + " KB and " +
         std::to_string(limits.pixels) + " pixels). Servers may refuse the card. Shrinking writes it as a JPEG of " +
         std::to_string(kShrunkPhotoSide) + " pixels on its longer side, turned as it is seen.";
}

void shrinkPhoto(FixActions& actions, PersonItem* row) {
  const ABPersonRef& person = actions.person();
  const ABPersonSnapshot data = person->snapshot();
  const std::string_view photo = photoOf(*data);
  std::string error;
  const auto shrunk = Photo::shrink(photo, kShrunkPhotoSide, kShrunkPhotoQuality, &error);
  if (!shrunk) {
    actions.fail("the photo of " + FixActions::who(*person) + " could not be shrunk: " + error);
    return;
  }
  const std::string before = Photo::description(photo);
  PersonItem* father = row->parentNode();
  person->setImageData(ABBytes(shrunk->bytes.begin(), shrunk->bytes.end()));
  if (!actions.book().addRecord(person, &error)) {
    actions.book().revert();
    actions.fail(error);
    return;
  }
  if (!actions.save("Shrank the photo of " + FixActions::named(*person))) return;
  actions.note("shrank the photo of " + FixActions::who(*person) + " from " + before + " to " +
               Photo::description(shrunk->bytes));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void shrinkPreview(FixPreview& preview, const RowOf& of) {
  using Colour = PreviewText::Colour;
  const ABPersonSnapshot data = of.row.person()->snapshot();
  const std::string_view photo = photoOf(*data);
  preview.texts.push_back(PreviewParts::text("Before Fixing", 14, 152, 110, Colour::Black, 0.4));
  preview.texts.push_back(PreviewParts::text("After Fixing", 230, 152, 210, Colour::Black, 0.4));
  preview.texts.push_back(PreviewParts::text(Photo::description(photo), 14, 132, 210));
  std::string error;
  const auto shrunk = Photo::shrink(photo, kShrunkPhotoSide, kShrunkPhotoQuality, &error);
  preview.texts.push_back(PreviewParts::text(shrunk ? Photo::description(shrunk->bytes) : "cannot be shrunk: " + error,
                                             230, 132, 210, shrunk ? Colour::Default : Colour::Red));
  const auto header = Photo::readHeader(photo, true, nullptr);
  if (header && header->orientation != 1)
    previewLine(preview, "The picture is turned as it is seen; the JPEG made needs no turning.", 106, 450);
}

void removePreview(FixPreview& preview, const RowOf& of) {
  const ABPersonSnapshot data = of.row.person()->snapshot();
  previewLine(preview, "The photo (" + Photo::description(photoOf(*data)) + ") will be removed.", 152, 450,
              PreviewText::Colour::Red);
  previewLine(preview, "Edit > Undo brings it back.", 132, 450);
}

void keepLarge(FixActions& actions, PersonItem* row) {
  const ABPersonSnapshot data = actions.person()->snapshot();
  keepAsItIs(actions, row, kLargeKey, {ScannerConditions::photoDigest(photoOf(*data))}, "the photo");
}

void keepPhotoPreview(FixPreview& preview, const RowOf& of) {
  const ABPersonSnapshot data = of.row.person()->snapshot();
  previewLine(preview, "No contact will be changed; a scan will not list this photo", 152, 450);
  previewLine(preview, "again while it is the same (" + Photo::description(photoOf(*data)) + ").", 132, 450);
}

// --- Same photo on different people

// The other persons of the book whose photo shows the same picture and who are not of the person's
// duplicate group; in store order.
std::vector<ABPersonRef> othersSharing(const ABAddressBook& book, const ABPerson& person) {
  std::vector<ABPersonRef> others;
  const ABPersonSnapshot data = person.snapshot();
  const std::string_view photo = photoOf(*data);
  if (photo.empty()) return others;
  const auto key = ScanAddressBook::duplicateGroupKey(*data);
  const ABMarkCover notSame(book, ABMarkKind::kNotSamePerson);
  for (const auto& other : book.people()) {
    if (other->uniqueId() == person.uniqueId()) continue;
    const ABPersonSnapshot otherData = other->snapshot();
    const std::string_view otherPhoto = photoOf(*otherData);
    if (otherPhoto.empty() || !ScannerConditions::samePicture(photo, otherPhoto)) continue;
    if (key && key == ScanAddressBook::duplicateGroupKey(*otherData) &&
        !notSame.covers({person.uniqueId(), other->uniqueId()}))
      continue;
    others.push_back(other);
  }
  return others;
}

std::optional<std::string> sharedStale(const FixActions& actions, const PersonItem&) {
  const ABPersonSnapshot data = actions.person()->snapshot();
  const std::string_view photo = photoOf(*data);
  if (photo.empty()) return "it holds no photo now";
  if (keptAsItIs(actions, kSharedKey, {ScannerConditions::photoDigest(photo)})) return "its photo is kept as it is";
  if (othersSharing(actions.book(), *actions.person()).empty()) return "no other contact shows its photo now";
  return std::nullopt;
}

std::string sharedDetails(const RowOf& of) {
  std::string text =
      "The photo of this contact is on other people too: often a company's logo, or photos given to the wrong "
      "contacts by an import.";
  if (!of.book) return text;
  const auto others = othersSharing(*of.book, *of.row.person());
  text += " It is also on " + FixActions::namesOf(others) + ".";
  return text;
}

void removeSharedPreview(FixPreview& preview, const RowOf& of) {
  removePreview(preview, of);
  if (!of.book) return;
  previewLine(preview, "The other contacts keep theirs:", 106, 450);
  PreviewParts::contactLines(preview, othersSharing(*of.book, *of.row.person()), 86);
}

void keepShared(FixActions& actions, PersonItem* row) {
  const ABPersonSnapshot data = actions.person()->snapshot();
  keepAsItIs(actions, row, kSharedKey, {ScannerConditions::photoDigest(photoOf(*data))}, "the photo");
}

}  // namespace

// A photo larger than cards need, or one no program can show.
const RC::Category& ReviewConditions::largePhoto() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kLargeKey,
          .title = "Photo too large",
          .rowDescription = "has a photo too large or unreadable",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kShrinkPhoto, shrinkPhoto, shrinkPreview, nullptr,
                     [](const RowOf& of) { return !unreadable(of); }},
                    {RC::Option::kRemovePhoto, removeUnreadablePhoto, removePreview, nullptr, unreadable},
                    {RC::Option::kKeepAsItIs, keepLarge, keepPhotoPreview}},
          .details = largeDetails,
          .stale = largeStale,
      },
      "matrixLargePhoto");
  return category;
}

// One picture on people who are not one person.
const RC::Category& ReviewConditions::sharedPhoto() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kSharedKey,
          .title = "Same photo on different people",
          .rowDescription = "shows the photo of other people",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kRemovePhotoFromContact, removePhoto, removeSharedPreview},
                    {RC::Option::kKeepAsItIs, keepShared, keepPhotoPreview}},
          .details = sharedDetails,
          .stale = sharedStale,
      },
      "matrixSharedPhoto");
  return category;
}
