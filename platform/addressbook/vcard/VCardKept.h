#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/addressbook/vcard/VCardLine.h"

// What a card said beyond the store's values, in the form it is kept with the person and written
// back:
// - kept lines: property lines the mapping turns into no value, one a line, "group.NAME;P=v:value"
//   (the value in UTF-8 as read, still escaped; transfer encodings and character sets undone);
// - entry parameters: the parameters of a list entry (e-mail, phone, ...) that its label and value
//   do not say, ";TYPE=VOICE,pref;PREF=1" (extra TYPE values first, gathered in one list);
// - lines as read: for a value the writer would write differently from the card (an FN that is not
//   the name shown, an ORG of three parts, BDAY:--0203, N;SORT-AS=...), the line the writer would
//   write and the lines read; the writer writes the lines read for as long as the value is unchanged.

// The parameters of a line as they are kept: ";NAME=value" each, without ENCODING and CHARSET
// (the kept value is already decoded) and without those skip names; values quoted when needed.
void appendKeptParameters(std::string& out, const VCardCard& card, const VCardLine& line,
                          const std::function<bool(const VCardParameter&)>& skip = {});

// The line as it is kept: group (when withGroup), name, parameters and value.
std::string keptLine(const VCardCard& card, const VCardLine& line, std::string_view value, bool withGroup);
void appendKeptLine(std::string& out, const VCardCard& card, const VCardLine& line, std::string_view value,
                    bool withGroup);

// The parameters of a list entry that its label does not say: every TYPE value not among
// explainedTypes (case-insensitive), then every other parameter not skipped.
std::string entryParameters(const VCardCard& card, const VCardLine& line, std::string_view explainedTypes,
                            const std::function<bool(const VCardParameter&)>& skip = {});
// The same appended to out.
void appendEntryParameters(std::string& out, const VCardCard& card, const VCardLine& line,
                           std::string_view explainedTypes,
                           const std::function<bool(const VCardParameter&)>& skip = {});

// The TYPE values of entry parameters ("VOICE,pref" of ";TYPE=VOICE,pref;PREF=1") and the rest
// (neither holds the property the entry was read from).
std::string_view entryExtraTypes(std::string_view parameters);
std::string_view entryOtherParameters(std::string_view parameters);
// An entry read from a property of another program's own (Evolution's X-EVOLUTION-SPOUSE, X-AIM,
// KDE's X-KADDRESSBOOK-X-SpousesName) keeps that property's name before its parameters
// ("X-EVOLUTION-SPOUSE;X-EVOLUTION-UI-SLOT=1"), so that it is written back the way that program
// reads it; parameters are otherwise empty or begin with ';'. The property, else empty.
std::string_view entryProperty(std::string_view parameters);
// The parameters without that property.
std::string_view entryParametersOnly(std::string_view parameters);

// A changed card's revision: every REV line of kept lines (a merge may hold several) gives way to
// one "REV:<revision>" where the first stood. False (nothing changed) when they hold no REV line:
// a card that never said its revision is not given one.
bool replaceRevisionLines(std::string& kept, std::string_view revision);
// A time (seconds since 1970) as REV says it: 20261210T014500Z.
std::string revisionText(std::int64_t seconds);

// Writes kept lines: calls emit with each line whose item group ("item3") is renamed to the next
// number of the card (nextGroup), the same new name for every line of one group.
void forEachKeptLine(std::string_view kept, const std::function<int()>& nextGroup,
                     const std::function<void(std::string_view line)>& emit);

// The kept lines of several persons as the lines of one (a merge): each person's item groups
// renamed so that groups of different persons stay apart; a line already there is not repeated.
std::string mergeKeptLines(const std::vector<std::string_view>& persons);

// Lines as read, by slot (the writer's name of the value: "N", "FN", "ORG", "BDAY", ...).
struct VCardLinesAsRead {
  std::string slot;
  std::string written;             // what the writer writes for the value, unfolded, lines joined by '\n'
  std::vector<std::string> lines;  // what the card said
};
// The entry that marks a person read from a vCard 4.0 card (slot "VERSION").
extern const VCardLinesAsRead kCameAsVersion4;
std::vector<VCardLinesAsRead> parseLinesAsRead(std::string_view text);
void appendLinesAsRead(std::string& text, const VCardLinesAsRead& entry);
// The lines read for the slot when the writer would still write `written` for it, else nullptr.
const VCardLinesAsRead* linesAsReadFor(const std::vector<VCardLinesAsRead>& all, std::string_view slot,
                                       std::string_view written);
// The lines read for the slot, whatever the writer writes for it now, or nullptr.
const VCardLinesAsRead* linesAsReadFor(const std::vector<VCardLinesAsRead>& all, std::string_view slot);

// A kept line as vCard 3.0 spells it, for a card that came in as 4.0 and goes out as 3.0 (a card
// that came in as 3.0 keeps its lines as they came): a property
// 3.0 does not have under its X- name (KIND and MEMBER as X-ADDRESSBOOKSERVER-KIND and -MEMBER,
// GENDER as X-GENDER, ANNIVERSARY as X-ANNIVERSARY, ...; a second N as X-N), PREF=1 as TYPE=pref
// (another PREF as X-PREF), GEO:geo:lat,lon as GEO:lat;lon. A line 3.0 can say is appended as it is.
// Without renameProperty (a line of a value the writer writes itself) only its parameters and value.
void appendKeptLineInVersion3(std::string& out, std::string_view line, bool renameProperty = true);
// Entry parameters (";TYPE=...;PREF=1") without PREF: what they say goes into types ("pref").
void parametersInVersion3(std::string_view parameters, std::string& types, std::string& others);
