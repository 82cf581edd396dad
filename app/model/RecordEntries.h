#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABValue.h"
#include "platform/addressbook/PersonCodec.h"

// How the keys of the record-key table meet the entries of the store's lists: which entry a
// record reads a key from, and how a value of a key is written into a list. The record builder,
// the commit of an edit and the person rebuilt from a record all go through these.
namespace RecordEntries {

using RecordKeys::RecordKey;

// Whether the contact record reads the key's value from this entry (of the key's list property).
// When several entries do, the last one wins: later entries overwrite earlier ones in the record.
bool showsKey(const RecordKey& key, const ABMultiValue::Entry& entry);

// The value of the key in an entry that shows it.
const std::string& shownValue(const RecordKey& key, const ABMultiValue::Entry& entry);

// The same for an entry as the store encodes it, read in place: the value of the key the entry
// shows, as the decoded entry shows it; nullopt when it shows none.
std::optional<std::string_view> shownValue(const RecordKey& key, const PersonCodec::ListView::Entry& entry);

// Whether the key designates the entry: the entries that a value may be written into when the
// record shows none (a home address without a city for "Home City", a Twitter profile under
// another label for "Twitter"). Every entry that shows the key is designated too.
bool designates(const RecordKey& key, const ABMultiValue::Entry& entry);

// The index of the entry the record shows the key from, if any.
std::optional<size_t> shownEntry(const RecordKey& key, const ABMultiValue& list);

// Writes the text as the key's value into a list, changing at most one entry: the one the record
// shows the key from; when it shows none, the one entry the key designates; when there are none or
// several, a new entry is appended. The entry keeps its label and its other components (a social
// profile is put under the home label, the only one under which profiles are read).
void setInList(const RecordKey& key, ABMultiValue& list, const std::string& text);

// Takes away the value the record shows under the key: the whole entry of a text list, the
// component of an address (the address with it when nothing is left), the user name of an
// account or profile (the entry with it when only its service is left). False when none is shown.
bool removeFromList(const RecordKey& key, ABMultiValue& list);

}  // namespace RecordEntries
