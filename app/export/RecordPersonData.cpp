#include "app/export/RecordPersonData.h"

#include "app/browser/RecordKeyMap.h"
#include "platform/addressbook/ABConstants.h"

namespace {

using RecordKeyMap::Family;
using RecordKeyMap::inGroup;

// The person's lists while they are being built, set on the person at the end.
struct Lists {
  ABMultiValue phones, emails, urls, related, social, addresses, instant;

  ABMultiValue& of(const std::string& property) {
    if (&property == &kABPhoneProperty) return phones;
    if (&property == &kABEmailProperty) return emails;
    if (&property == &kABURLsProperty) return urls;
    return related;
  }
};

// Replaces every entry designated for the key by the rewritten one, or appends it when none is.
template <typename Designated, typename Rewritten>
void rewrite(ABMultiValue& list, Designated designated, Rewritten rewritten) {
  bool found = false;
  for (size_t i = 0; i < list.count(); ++i) {
    const ABMultiValue::Entry& entry = list.entries()[i];
    if (!designated(entry)) continue;
    found = true;
    ABMultiValue::Entry fresh = rewritten(&entry);
    list.replaceValueAtIndex(i, std::move(fresh.value));
    list.replaceLabelAtIndex(i, std::move(fresh.label));
  }
  if (!found) {
    ABMultiValue::Entry fresh = rewritten(nullptr);
    list.addValueWithLabel(std::move(fresh.value), std::move(fresh.label));
  }
}

const ABDictionary* dictionaryOf(const ABMultiValue::Entry& entry) {
  return std::get_if<ABDictionary>(&entry.value);
}

}  // namespace

ABPersonData personDataFromRecord(const ContactRecord& record) {
  ABPersonData data;
  Lists lists;
  for (const auto& [key, value] : record.entries()) {
    const RecordKeyMap::Mapping* found = RecordKeyMap::find(key);
    if (!found) continue;
    const RecordKeyMap::Mapping& mapping = *found;
    if (mapping.family == Family::Birthday) {
      if (const auto* date = std::get_if<ABDate>(&value)) {
        data.set(*mapping.target, *date);
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        if (auto parsed = ABDate::fromIsoString(*text)) data.set(*mapping.target, *parsed);
      }
      continue;
    }
    const auto* textValue = std::get_if<std::string>(&value);
    if (!textValue) continue;
    const std::string& text = *textValue;
    switch (mapping.family) {
      case Family::Single:
        data.set(*mapping.target, text);
        break;
      case Family::Labelled: {
        const std::string& label = *mapping.label;
        rewrite(
            lists.of(*mapping.target), [&](const ABMultiValue::Entry& e) { return e.label == label; },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{label, text};
            });
        break;
      }
      case Family::Social: {
        const std::string& service = *mapping.target;
        rewrite(
            lists.social,
            [&](const ABMultiValue::Entry& e) {
              const ABDictionary* d = dictionaryOf(e);
              return d && d->valueOr(kABSocialProfileServiceKey) == service;
            },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{kABHomeLabel, ABDictionary{{kABSocialProfileUsernameKey, text},
                                                                    {kABSocialProfileServiceKey, service}}};
            });
        break;
      }
      case Family::AddressPart:
        rewrite(
            lists.addresses,
            [&](const ABMultiValue::Entry& e) { return dictionaryOf(e) && inGroup(e.label, mapping.label); },
            [&](const ABMultiValue::Entry* old) {
              ABDictionary address = old ? *dictionaryOf(*old) : ABDictionary();
              address.set(*mapping.target, text);
              return ABMultiValue::Entry{old ? old->label : *mapping.label, std::move(address)};
            });
        break;
      case Family::Instant: {
        const std::string& service = *mapping.target;
        rewrite(
            lists.instant,
            [&](const ABMultiValue::Entry& e) {
              const ABDictionary* d = dictionaryOf(e);
              return d && inGroup(e.label, mapping.label) && d->valueOr(kABInstantMessageServiceKey) == service;
            },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{*mapping.label, ABDictionary{{kABInstantMessageServiceKey, service},
                                                                      {kABInstantMessageUsernameKey, text}}};
            });
        break;
      }
      case Family::Birthday:
        break;
    }
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
