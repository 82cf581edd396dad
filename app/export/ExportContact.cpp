#include "app/export/ExportContact.h"

#include <filesystem>

#include "app/export/ExportCSV.h"
#include "app/export/ExportPersonCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/export/ExportVCard.h"
#include "frameworks/common/Leftovers.h"

namespace {

const char* const kNamedDestination = "Zedid-Ovuzazur";

ExportResult failure(std::string error) {
  ExportResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

ExportContact::ExportContact() {
  auto html = [](const ContactRecords& records, const std::string& path, bool allInfo) {
    return ExportToHtml(records, path, allInfo).writeHtml();
  };
  auto vcard = [](const ContactRecords& records, const std::string& folder, bool allInfo) {
    return ExportVCard().exportVcardWithArrayToPath(records, folder, allInfo);
  };
  auto vcardOneFile = [](const ContactRecords& records, const std::string& path, bool allInfo) {
    return ExportVCard().exportOneFileWithArrayToPath(records, path, allInfo);
  };
  auto txt = [](const ContactRecords& records, const std::string& folder, bool allInfo) {
    return ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder, allInfo);
  };
  formats_ = {{"Save to Excel", true, true, {}},
              {"Save to HTML", true, true, html},
              {"Save to Pages", true, true, {}},
              {"Save to Numbers", true, true, {}},
              {"Save to CSV", false, true, {}},
              {"Save to Docx", true, false, {}},
              {"Save to vCard", false, true, vcard},
              {"Save to TXT", false, true, txt},
              {kVCardOneFile, true, true, vcardOneFile},
              {kGoogleCsv, false, true, {}},
              {kOutlookCsv, false, true, {}},
              {kEveryValueCsv, false, true, {}}};
  setRawCsv(false);
}

void ExportContact::setHtmlPhotos(bool photos, std::shared_ptr<const std::vector<std::string>> given) {
  htmlPhotos_ = photos;
  setWriter("Save to HTML", [photos, given](const ContactRecords& records, const std::string& path, bool allInfo) {
    ExportToHtml writer(records, path, allInfo);
    writer.setPhotos(photos, given);
    return writer.writeHtml();
  });
}

void ExportContact::setRawCsv(bool raw) {
  rawCsv_ = raw;
  setWriter("Save to CSV", [raw](const ContactRecords& records, const std::string& folder, bool allInfo) {
    return ExportCSV(raw).writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder, allInfo);
  });
  for (auto [title, kind] : {std::pair{kGoogleCsv, ExportPersonCSV::Kind::Google},
                             {kOutlookCsv, ExportPersonCSV::Kind::Outlook},
                             {kEveryValueCsv, ExportPersonCSV::Kind::EveryValue}})
    setWriter(title, [kind, raw](const ContactRecords& records, const std::string& folder, bool) {
      return ExportPersonCSV(kind, raw).writeRecords(records, folder);
    });
}

void ExportContact::setWriter(const std::string& title, Writer writer) {
  for (auto& format : formats_)
    if (format.title == title) format.writer = std::move(writer);
}

const ExportContact::Format* ExportContact::formatOf(const std::string& title) const {
  for (const auto& format : formats_)
    if (format.title == title) return &format;
  return nullptr;
}

ContactRecords ExportContact::copyDictionaryDataSoucre(const ContactRecords& source,
                                                       const std::vector<std::string>& columns, bool keepPersons) {
  ContactRecords copy;
  copy.reserve(source.size());
  for (const auto& record : source) {
    ContactRecord restricted;
    for (const auto& column : columns) {
      if (column == "Person") continue;
      if (const auto value = record.find(column)) restricted.set(column, *value);
    }
    if (keepPersons)
      if (ABPersonRef person = record.person()) restricted.set("Person", std::move(person));
    restricted.shrinkToFit();
    copy.push_back(std::move(restricted));
  }
  return copy;
}

ContactRecords ExportContact::copyDictionaryDataSoucre(bool keepPersons) const {
  if (!browser_) return {};
  const std::vector<std::string> columns = browser_->tableColumnIdentifiers();
  if (isExportAllPeople_) return copyDictionaryDataSoucre(browser_->getTableViewDataArray(), columns, keepPersons);
  return copyDictionaryDataSoucre(*exportArray_, columns, keepPersons);
}

std::string ExportContact::destinationOf(const Format& format, const std::string& folder) {
  // What exports killed midway left in this folder and in the cache goes first.
  removeExportLeftovers(folder);
  if (format.namedDestination) return (std::filesystem::path(folder) / kNamedDestination).string();
  return folder;
}

ExportResult ExportContact::runFormat(const Format& format, const ContactRecords& records, const std::string& folder,
                                      bool allInfo) {
  if (!format.writer) return failure(format.title + " is not available in this build.");
  return format.writer(records, destinationOf(format, folder), format.takesAllInfoFlag && allInfo);
}

bool ExportContact::writesWholePersons(const std::string& title) {
  return isVCard(title) || isPersonCsv(title);
}

bool ExportContact::isPersonCsv(const std::string& title) {
  return title == kGoogleCsv || title == kOutlookCsv || title == kEveryValueCsv;
}

ExportResult ExportContact::runPersonExport(const std::string& title, const std::string& folder,
                                            const PersonBatches& persons) const {
  const Format* format = formatOf(title);
  if (!format || !writesWholePersons(title)) return failure("Unknown export format \"" + title + "\".");
  const std::string destination = destinationOf(*format, folder);
  if (title == kVCardOneFile) return ExportVCard().exportPersonsToOneFile(persons, destination);
  if (isPersonCsv(title)) {
    const auto kind = title == kGoogleCsv    ? ExportPersonCSV::Kind::Google
                      : title == kOutlookCsv ? ExportPersonCSV::Kind::Outlook
                                             : ExportPersonCSV::Kind::EveryValue;
    return ExportPersonCSV(kind, rawCsv_).writePersons(persons, destination);
  }
  return ExportVCard().exportPersonsToFolder(persons, destination);
}

bool ExportContact::writesStoredPersons(const std::string& title) {
  return title == "Save to CSV" || title == "Save to TXT" || title == "Save to HTML";
}

ExportResult ExportContact::runStoredExport(const std::string& title, const std::string& folder,
                                            const StoredPersonBatches& persons) const {
  const Format* format = formatOf(title);
  if (!format || !writesStoredPersons(title)) return failure("Unknown export format \"" + title + "\".");
  const std::string destination = destinationOf(*format, folder);
  if (title == "Save to CSV") return ExportCSV(rawCsv_).writeAllInfoOfStored(persons, destination);
  if (title == "Save to HTML") return ExportToHtml::writeAllInfoOfStored(persons, destination);
  return ExportTXT().writeAllInfoOfStored(persons, destination);
}

std::optional<ExportContact::PreparedExport> ExportContact::prepareExport(const std::string& title,
                                                                          const std::string& folder, int tag) const {
  const Format* format = formatOf(title);
  if (!format) return std::nullopt;
  std::optional<PreparedExport> prepared;
  if (tag == kTagShownColumns)
    prepared =
        PreparedExport{*format,
                       std::make_shared<const ContactRecords>(copyDictionaryDataSoucre(writesWholePersons(title))),
                       folder,
                       false,
                       {}};
  else if (tag == kTagAllInformation && isExportAllPeople_ && browser_)
    prepared = PreparedExport{
        *format, std::make_shared<const ContactRecords>(browser_->getTableViewDataArray()), folder, true, {}};
  else if (tag == kTagAllInformation)
    prepared = PreparedExport{*format, exportArray_, folder, true, {}};
  // A vCard file holds the contacts' groups as the address book has them: their group cards too.
  if (prepared && browser_ && isVCard(title)) prepared->groupCards = browser_->groupCardsOf(prepared->records());
  return prepared;
}

bool ExportContact::isVCard(const std::string& title) {
  return title == "Save to vCard" || title == kVCardOneFile;
}

ExportResult ExportContact::run(const PreparedExport& prepared) {
  if (!prepared.groupCards.empty() && prepared.format.writer && isVCard(prepared.format.title)) {
    const std::string destination = destinationOf(prepared.format, prepared.folder);
    if (prepared.format.title == kVCardOneFile)
      return ExportVCard().exportOneFileWithArrayToPath(prepared.records(), destination, prepared.allInfo,
                                                        prepared.groupCards);
    return ExportVCard().exportVcardWithArrayToPath(prepared.records(), destination, prepared.allInfo,
                                                    prepared.groupCards);
  }
  return runFormat(prepared.format, prepared.records(), prepared.folder, prepared.allInfo);
}

ExportResult ExportContact::runExport(const std::string& title, const std::string& folder, int tag) const {
  if (!formatOf(title)) return failure("Unknown export format \"" + title + "\".");
  auto prepared = prepareExport(title, folder, tag);
  if (!prepared) return failure("Unknown column choice.");
  return run(*prepared);
}

std::thread ExportContact::startExport(const std::string& title, const std::string& folder, int tag,
                                       ExportReporter* reporter) const {
  auto prepared = prepareExport(title, folder, tag);
  if (!prepared) return {};
  return std::thread([prepared = std::move(*prepared), reporter] {
    ExportResult result = run(prepared);
    if (reporter) reporter->exportFinished(prepared.format.title, result);
  });
}
