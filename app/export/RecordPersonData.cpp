#include "app/export/RecordPersonData.h"

#include "app/model/RecordEntries.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"

namespace {

using RecordKeys::Family;
using RecordKeys::RecordKey;

// The person's lists while they are being built, set on the person at the end, in this order.
struct Lists {
  ABMultiValue phones, emails, urls, related, social, addresses, instant;

  ABMultiValue& of(const std::string& property) {
    if (&property == &kABPhoneProperty) return phones;
    if (&property == &kABEmailProperty) return emails;
    if (&property == &kABURLsProperty) return urls;
    if (&property == &kABSocialProfileProperty) return social;
    if (&property == &kABAddressProperty) return addresses;
    if (&property == &kABInstantMessageProperty) return instant;
    return related;
  }
};

}  // namespace

ABPersonData personDataFromRecord(const ContactRecord& record) {
  ABPersonData data;
  Lists lists;
  for (const auto& [key, value] : record.entries()) {
    const RecordKey* row = RecordKeys::find(key);
    if (!row || !RecordKeys::isStored(*row)) continue;
    if (row->family == Family::Birthday) {
      if (const auto* date = std::get_if<ABDate>(&value)) {
        data.set(*row->property, *date);
      } else if (const auto* text = std::get_if<std::string_view>(&value)) {
        if (auto parsed = ContactRecord::dateFromText(*text)) data.set(*row->property, *parsed);
      }
      continue;
    }
    const auto* text = std::get_if<std::string_view>(&value);
    if (!text) continue;
    if (row->family == Family::Single)
      data.set(*row->property, std::string(*text));
    else
      RecordEntries::setInList(*row, lists.of(*row->property), std::string(*text));
  }
  const std::pair<const std::string*, ABMultiValue*> built[] = {{&kABPhoneProperty, &lists.phones},
                                                                {&kABEmailProperty, &lists.emails},
                                                                {&kABURLsProperty, &lists.urls},
                                                                {&kABRelatedNamesProperty, &lists.related},
                                                                {&kABSocialProfileProperty, &lists.social},
                                                                {&kABAddressProperty, &lists.addresses},
                                                                {&kABInstantMessageProperty, &lists.instant}};
  for (auto [property, list] : built)
    if (!list->empty()) data.set(*property, std::move(*list));
  return data;
}
