#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "app/cli/CommandRegistry.h"
#include "app/model/PersonRecord.h"
#include "core/record/RecordKeys.h"

#include "app/export/ExportContact.h"
#include "app/export/RecordPersonData.h"
#include "app/export/formats/ExportFormatWriters.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/PersonCodec.h"

namespace {

// The browser's columns when none are given.
const std::vector<std::string> kDefaultColumns = {"First Name", "Last Name", "Company",   "Home Email",
                                                  "Work Email", "Mobile",    "Home Phone"};

// Persons read from the store at a time for an export that formats them as they are read: small
// enough that formatting starts soon after reading does and ends soon after it, large enough that
// handing them over costs little.
constexpr size_t kPersonsPerPiece = 512;
// Persons read at a time for an export that takes every record first: their records are built on
// every core, a batch at a time.
constexpr size_t kPersonsPerRecordBatch = 4096;

// The command line's format names and the export panel's titles.
const std::map<std::string, std::string> kFormatTitles = {{"csv", "Save to CSV"},
                                                          {"txt", "Save to TXT"},
                                                          {"html", "Save to HTML"},
                                                          {"vcard", "Save to vCard"},
                                                          {"xlsx", "Save to Excel"},
                                                          {"docx", "Save to Docx"},
                                                          {"numbers", "Save to Numbers"},
                                                          {"pages", "Save to Pages"},
                                                          {"google-csv", ExportContact::kGoogleCsv},
                                                          {"outlook-csv", ExportContact::kOutlookCsv}};

// The columns the browser would show; the records are the driver's own export array.
class ShownColumns : public ExportBrowserSource {
 public:
  explicit ShownColumns(std::vector<std::string> columns) : columns_(std::move(columns)) {}
  std::vector<std::string> tableColumnIdentifiers() const override { return columns_; }
  ContactRecords getTableViewDataArray() const override { return {}; }

 private:
  std::vector<std::string> columns_;
};

// The names of a comma-separated list, each without the spaces around it.
std::vector<std::string> splitColumns(const std::string& list) {
  std::vector<std::string> columns;
  std::stringstream stream(list);
  std::string item;
  while (std::getline(stream, item, ',')) {
    const size_t first = item.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    columns.push_back(item.substr(first, item.find_last_not_of(" \t") - first + 1));
  }
  return columns;
}

// Whether contact records can hold a value under the name.
bool isRecordColumn(const std::string& name) {
  return RecordKeys::find(name) != nullptr || name == kGroupsColumn;
}

int runExport(CommandContext& ctx) {
  std::string format, folder;
  bool allInfo = false, oneFile = false, everyValue = false, raw = false, photos = false;
  std::optional<std::string> group;
  std::vector<std::string> columns = kDefaultColumns;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    bool hasValue = i + 1 < ctx.args.size();
    if (arg == "--format" && hasValue) {
      format = ctx.args[++i];
    } else if (arg == "--to" && hasValue) {
      folder = ctx.args[++i];
    } else if (arg == "--columns" && hasValue) {
      columns = splitColumns(ctx.args[++i]);
    } else if (arg == "--all-info") {
      allInfo = true;
    } else if (arg == "--one-file") {
      oneFile = true;
    } else if (arg == "--every-value") {
      everyValue = true;
    } else if (arg == "--raw") {
      raw = true;
    } else if (arg == "--photos") {
      photos = true;
    } else if (arg == "--group" && hasValue) {
      group = ctx.args[++i];
    } else {
      ctx.err << "rolvane export: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  for (const auto& column : columns) {
    if (!isRecordColumn(column)) {
      ctx.err << "rolvane export: unknown column \"" << column
              << "\" (columns are named as in the contact table: \"First Name\", \"Home Email\", ...)\n";
      return 2;
    }
  }
  if (columns.empty()) {
    ctx.err << "rolvane export: --columns names no column\n";
    return 2;
  }
  ExportContact driver;
  installFormatWriters(driver);
  driver.setRawCsv(raw);
  std::vector<std::string> available;
  for (const auto& [name, title] : kFormatTitles)
    for (const auto& known : driver.formats())
      if (known.title == title && known.writer) available.push_back(name);
  auto title = kFormatTitles.find(format);
  if (title == kFormatTitles.end() || std::find(available.begin(), available.end(), format) == available.end()) {
    ctx.err << "rolvane export: unknown format \"" << format << "\" (this build writes:";
    for (const auto& name : available) ctx.err << " " << name;
    ctx.err << ")\n";
    return 2;
  }
  if (oneFile && format != "vcard") {
    ctx.err << "rolvane export: --one-file goes with --format vcard only\n";
    return 2;
  }
  if (photos && format != "html") {
    ctx.err << "rolvane export: --photos goes with --format html only\n";
    return 2;
  }
  if (everyValue && format != "csv") {
    ctx.err << "rolvane export: --every-value goes with --format csv only\n";
    return 2;
  }
  const std::string chosen = oneFile      ? ExportContact::kVCardOneFile
                             : everyValue ? ExportContact::kEveryValueCsv
                                          : title->second;
  // The CSV files of whole persons hold every value of each person, whatever the columns.
  if (ExportContact::isPersonCsv(chosen)) allInfo = true;
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
    ctx.err << "rolvane export: no such folder \"" << folder << "\"\n";
    return 2;
  }
  // The groups, when the export asks for them (a "Groups" column, one group's members), from one
  // reading of the store before the persons are read again for the export.
  const bool groupsColumn = !allInfo && std::find(columns.begin(), columns.end(), kGroupsColumn) != columns.end();
  std::optional<ABGroups::Index> groups;
  std::unordered_set<std::string> members;
  if (groupsColumn || group) {
    std::vector<ABPersonSnapshot> all;
    if (!ctx.readStore([&](std::vector<ABPersonData>& batch) {
          for (auto& data : batch) all.push_back(std::make_shared<const ABPersonData>(std::move(data)));
        }))
      return 1;  // readStore has said why
    groups.emplace(all);
    if (group) {
      const ABGroups::Group* found = groups->find(*group);
      if (!found) {
        ctx.err << "rolvane export: there is no group named \"" << *group << "\" (see rolvane group list)\n";
        return 1;
      }
      members.insert(found->members.begin(), found->members.end());
    }
  }
  // Which persons the export holds: every one, or the group's members; group cards only in vCard
  // files (those of the group alone, with --group), never as a person's row.
  const bool writesCards = ExportContact::isVCard(chosen);
  auto exported = [&](const ABPersonData& data) {
    if (ABGroups::isGroupCard(data)) return writesCards && (!group || ABGroups::groupName(data) == *group);
    if (!group) return true;
    const std::string* uid = data.string(kABUIDProperty);
    return uid && members.count(*uid) > 0;
  };
  auto onlyExported = [&](std::vector<ABPersonData>& batch) {
    batch.erase(std::remove_if(batch.begin(), batch.end(), [&](const ABPersonData& data) { return !exported(data); }),
                batch.end());
  };
  // The persons are read from the store a batch at a time and none is kept: the vCard formats write
  // each whole person as it comes, the CSV and TXT tables and the HTML page of all information
  // format each batch's rows while the next batches are read, the others take the records of a
  // batch, made straight from the stored rows (only the columns asked for, without the reference
  // to the person), before the next batch is read.
  ExportResult result;
  if (!allInfo && ExportContact::writesWholePersons(chosen)) {
    // Cards of the chosen columns: each made from the columns of its person's record, with the
    // person's own unique id, so that importing them where the address book lives updates it.
    bool unread = false;
    result = driver.runPersonExport(chosen, folder, [&](const auto& take, std::string*) {
      std::vector<ABPersonData> cards;
      unread = !ctx.readStore([&](std::vector<ABPersonData>& batch) {
        onlyExported(batch);
        cards.clear();
        cards.reserve(batch.size());
        ContactRecords records = recordsOfValues(batch);
        records = ExportContact::copyDictionaryDataSoucre(records, columns);
        for (size_t i = 0; i < batch.size(); ++i) {
          // A group card goes as it is: the group of the contacts exported.
          if (ABGroups::isGroupCard(batch[i])) {
            cards.push_back(batch[i]);
            continue;
          }
          cards.push_back(personDataFromRecord(records[i]));
          if (const std::string* uid = batch[i].string(kABUIDProperty)) cards.back().set(kABUIDProperty, *uid);
          if (groupsColumn)
            if (const ABValue* categories = batch[i].find(kABCategoriesProperty))
              cards.back().set(kABCategoriesProperty, *categories);
        }
        take(cards);
      });
      return !unread;
    });
    if (unread) return 1;  // readStore has said why
  } else if (allInfo && ExportContact::writesWholePersons(chosen)) {
    bool unread = false;
    result = driver.runPersonExport(chosen, folder, [&](const auto& take, std::string*) {
      unread = !ctx.readStore([&](std::vector<ABPersonData>& batch) {
        onlyExported(batch);
        take(batch);
      });
      return !unread;
    });
    if (unread) return 1;  // readStore has said why
  } else if (allInfo && ExportContact::writesStoredPersons(chosen) && !group && !photos) {
    bool unread = false;
    result = driver.runStoredExport(chosen, folder, [&](const auto& take, std::string*) {
      unread = !ctx.readStoredStore(kPersonsPerPiece, take);
      return !unread;
    });
    if (unread) return 1;  // readStoredStore has said why
    if (result.unreadable) {
      ctx.storeUnreadable(result.error);
      return 1;
    }
  } else {
    ContactRecords records;
    // With --photos, each record's photo as stored, in the records' order.
    auto photoList = std::make_shared<std::vector<std::string>>();
    std::string damage;
    if (!ctx.readStoredStore(kPersonsPerRecordBatch, [&](std::shared_ptr<const ABStoredBatch> batch) {
          ContactRecords made;
          size_t damaged = 0;
          std::vector<std::string_view> uids;
          if (!recordsOfStored(*batch, made, &damaged, &uids)) {
            damage = batch->damagedError(damaged);
            return false;
          }
          // The uids of the records kept, for their photos.
          std::vector<std::string_view> keptUids = uids;
          if (group || groupsColumn) {
            ContactRecords kept;
            keptUids.clear();
            const RecordKeyId groupsKey = ContactRecord::keyId(kGroupsColumn);
            for (size_t i = 0; i < made.size(); ++i) {
              const std::string uid(uids[i]);
              if (group && !members.count(uid)) continue;
              kept.push_back(std::move(made[i]));
              keptUids.push_back(uids[i]);
              const std::string text = groupsColumnText(groups->groupsOfUid(uid));
              if (groupsColumn && !text.empty()) kept.back().set(groupsKey, RecordValue(std::string_view(text)));
            }
            made = std::move(kept);
          }
          if (photos) {
            std::unordered_map<std::string_view, std::string_view> photoOfUid;
            for (size_t row = 0; row < batch->size(); ++row)
              PersonCodec::readView(
                  batch->data(row), [&](std::string_view property, const PersonCodec::ValueView& value) {
                    if (property == kABImageDataProperty && value.kind == PersonCodec::ValueView::Kind::Bytes)
                      photoOfUid[batch->uid(row)] = value.text;
                  });
            for (std::string_view uid : keptUids) {
              auto found = photoOfUid.find(uid);
              photoList->emplace_back(found == photoOfUid.end() ? std::string_view() : found->second);
            }
          }
          if (!allInfo) made = ExportContact::copyDictionaryDataSoucre(made, columns);
          records.insert(records.end(), std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
          return true;
        }))
      return 1;  // readStoredStore has said why
    if (!damage.empty()) {
      ctx.storeUnreadable(damage);
      return 1;
    }
    ShownColumns shown(columns);
    driver.setLoadContactsViewController(&shown);
    driver.setExportArray(std::move(records));
    if (photos) driver.setHtmlPhotos(true, photoList);
    result =
        driver.runExport(chosen, folder, allInfo ? ExportContact::kTagAllInformation : ExportContact::kTagShownColumns);
  }
  if (!result.ok()) {
    ctx.err << "rolvane export: " << (result.error.empty() ? "the export failed" : result.error) << "\n";
    return 1;
  }
  ctx.out << result.file << "\n";
  return 0;
}

const CommandRegistration registration("export",
                                       "export --format FMT --to DIR [--all-info] [--columns KEY,KEY...] [--one-file] "
                                       "[--every-value] [--raw] [--group NAME] [--photos]",
                                       runExport);

}  // namespace
