#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/export/StoredPersons.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// Told when an export has finished; called on the export's own thread.
class ExportReporter {
 public:
  virtual ~ExportReporter() = default;
  virtual void exportFinished(const std::string& title, const ExportResult& result) = 0;
};

// What the contact browser shows: its columns' identifiers in column order and its records.
class ExportBrowserSource {
 public:
  virtual ~ExportBrowserSource() = default;
  virtual std::vector<std::string> tableColumnIdentifiers() const = 0;
  virtual ContactRecords getTableViewDataArray() const = 0;
  // The group cards that list one of the records' persons, as they are stored: what a vCard export
  // of those records writes beside their cards, so that their groups go with them.
  virtual std::vector<ABPersonData> groupCardsOf(const ContactRecords&) const { return {}; }
};

// The export driver: picks the records for the chosen column choice, the destination for the
// chosen format, and runs the format's writer on a thread of its own.
class ExportContact {
 public:
  // records, destination, all-information flag (writers without the flag ignore it)
  using Writer = std::function<ExportResult(const ContactRecords&, const std::string&, bool)>;
  struct Format {
    std::string title;
    bool namedDestination;  // folder + "/Zedid-Ovuzazur" rather than the folder itself
    bool takesAllInfoFlag;
    Writer writer;  // empty while this build has no writer for the format
  };
  // The format that writes every card into one file.
  static constexpr const char* kVCardOneFile = "vCard, one file";
  // The CSV files for Google Contacts and Outlook, and the CSV file that holds every value.
  static constexpr const char* kGoogleCsv = "Save to Google CSV";
  static constexpr const char* kOutlookCsv = "Save to Outlook CSV";
  static constexpr const char* kEveryValueCsv = "Save to CSV, every value";
  static constexpr int kTagShownColumns = 1;
  static constexpr int kTagAllInformation = 2;

  ExportContact();

  // The array is fixed from here on: an export of all information hands this very array to the
  // writer, on whichever thread, without copying it. Its records refer to their persons ("Person"):
  // the vCard writers write them whole, the others never make a column of it.
  void setExportArray(ContactRecords records) {
    exportArray_ = std::make_shared<const ContactRecords>(std::move(records));
  }
  const ContactRecords& exportArray() const { return *exportArray_; }
  void setLoadContactsViewController(const ExportBrowserSource* browser) { browser_ = browser; }
  void setIsExportAllPeople(bool all) { isExportAllPeople_ = all; }

  // The eight formats in chooser order, then "vCard, one file" and the three CSV files of whole
  // persons.
  const std::vector<Format>& formats() const { return formats_; }
  // Installs the writer of a format whose library the caller links (xlsx, docx, numbers, pages).
  void setWriter(const std::string& title, Writer writer);
  // HTML pages with each contact's photo small, in a folder beside the page (ExportToHtml::setPhotos);
  // the photos are the records' persons' unless given, one for each record of the export array.
  void setHtmlPhotos(bool photos, std::shared_ptr<const std::vector<std::string>> given = {});
  bool htmlPhotos() const { return htmlPhotos_; }
  // CSV cells as they are, without the apostrophe in front of what a spreadsheet would take for a
  // formula (the CSV formats).
  void setRawCsv(bool raw);

  // The browser's columns of every source record, in column order; other keys ("Person") left out.
  // With keepPersons (for the vCard writers, whose cards carry their person's unique id) each copy
  // keeps its record's reference to the person.
  ContactRecords copyDictionaryDataSoucre(bool keepPersons = false) const;
  static ContactRecords copyDictionaryDataSoucre(const ContactRecords& source, const std::vector<std::string>& columns,
                                                 bool keepPersons = false);

  // An export whose records are fixed: what runs on the export's own thread.
  struct PreparedExport {
    Format format;
    std::shared_ptr<const ContactRecords> shared;  // never null
    std::string folder;
    bool allInfo = false;
    const ContactRecords& records() const { return *shared; }
    // For the vCard formats: the group cards written after the records' cards.
    std::vector<ABPersonData> groupCards;
  };
  // The records and destination of the export chosen in the folder panel, taken on the calling
  // thread; nullopt for an unknown title or tag.
  std::optional<PreparedExport> prepareExport(const std::string& title, const std::string& folder, int tag) const;
  static ExportResult run(const PreparedExport& prepared);

  // Starts the export chosen in the folder panel. Returns the export's thread (the caller joins or
  // detaches it); an unknown title or tag starts nothing and gives a thread that is not joinable.
  // The records are fixed before the thread starts; reporter must outlive the thread.
  std::thread startExport(const std::string& title, const std::string& folder, int tag, ExportReporter* reporter) const;

  // The same export on the calling thread.
  ExportResult runExport(const std::string& title, const std::string& folder, int tag) const;

  // Gives whole persons in order, a batch at a time: calls take with each batch; false (and
  // *error) when it could not give them all.
  using PersonBatches =
      std::function<bool(const std::function<void(std::vector<ABPersonData>&)>& take, std::string* error)>;
  // Whether the format writes whole persons in an export of all information (the vCard formats
  // and the CSV files of whole persons).
  static bool writesWholePersons(const std::string& title);
  // The two vCard formats (a folder of cards, one file).
  static bool isVCard(const std::string& title);
  static bool isPersonCsv(const std::string& title);
  // An export of all information in a format that writes whole persons, from persons given a batch
  // at a time: no record is made and no person is kept once written, on the calling thread.
  ExportResult runPersonExport(const std::string& title, const std::string& folder, const PersonBatches& persons) const;
  // Whether the format writes an export of all information from the store's persons as they are
  // read (the CSV and TXT tables, the HTML page).
  static bool writesStoredPersons(const std::string& title);
  // An export of all information in such a format: each person's record is made as the person is
  // read and let go of once written. A damaged person makes the result unreadable.
  ExportResult runStoredExport(const std::string& title, const std::string& folder,
                               const StoredPersonBatches& persons) const;

 private:
  const Format* formatOf(const std::string& title) const;
  static ExportResult runFormat(const Format& format, const ContactRecords& records, const std::string& folder,
                                bool allInfo);
  // Clears what killed exports left in folder and gives the path the format writes to.
  static std::string destinationOf(const Format& format, const std::string& folder);

  std::vector<Format> formats_;
  std::shared_ptr<const ContactRecords> exportArray_ = std::make_shared<const ContactRecords>();
  const ExportBrowserSource* browser_ = nullptr;
  bool isExportAllPeople_ = false;
  bool htmlPhotos_ = false;
  bool rawCsv_ = false;
};
