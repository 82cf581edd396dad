#include "app/browser/view/ColumnMenuGroups.h"

#include <QCoreApplication>
#include <functional>

#include "app/model/PersonRecord.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"

namespace {

using RecordKeys::Family;
using RecordKeys::RecordKey;

// The keys of the record-key table that pass the test, in table order.
std::vector<std::string> keysWhere(const std::function<bool(const RecordKey&)>& test) {
  std::vector<std::string> keys;
  for (const RecordKey& row : RecordKeys::all())
    if (test(row)) keys.push_back(row.key);
  return keys;
}

std::vector<std::string> ofGroup(Family family, const std::string& groupLabel) {
  return keysWhere([&](const RecordKey& row) { return row.family == family && row.label == &groupLabel; });
}

std::vector<std::string> ofList(const std::string& property) {
  return keysWhere([&](const RecordKey& row) { return row.family == Family::Labelled && row.property == &property; });
}

}  // namespace

const std::vector<ColumnMenuGroup>& columnMenuGroups() {
  // The names and phones are offered in the order people look for them; the other groups in the
  // order of the record-key table.
  static const std::vector<ColumnMenuGroup> groups = {
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Name and Work"),
       {"Name", "Photo", "First Name", "Last Name", "Middle Name", "Maiden Name", "Nickname", "Preffix", "Suffix",
        "FullName", "Phonetic First Name", "Phonetic Last Name", "Company", "Department", "Job Title", "Birthday",
        "Note"}},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Home Address"), ofGroup(Family::AddressPart, kABHomeLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Work Address"), ofGroup(Family::AddressPart, kABWorkLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Other Address"), ofGroup(Family::AddressPart, kABOtherLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Phone"),
       {"Mobile", "iPhone", "Main Phone", "Home Phone", "Work Phone", "Home Fax", "Work Fax", "Pager"}},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Email"), ofList(kABEmailProperty)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "URL"), ofList(kABURLsProperty)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Home IM"), ofGroup(Family::Instant, kABHomeLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Work IM"), ofGroup(Family::Instant, kABWorkLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Other IM"), ofGroup(Family::Instant, kABOtherLabel)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Related Names"), ofList(kABRelatedNamesProperty)},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Social Profile"),
       keysWhere([](const RecordKey& row) { return row.family == Family::Social; })},
      {QT_TRANSLATE_NOOP("ColumnMenuGroups", "Groups"), {kGroupsColumn}},
  };
  return groups;
}

QString columnGroupTitle(const ColumnMenuGroup& group) {
  return QCoreApplication::translate("ColumnMenuGroups", group.title.c_str());
}
