#include "app/export/formats/ExportFormatWriters.h"

#include "app/export/ExportContact.h"

#include "frameworks/docx/DocxCreator.h"
#include "frameworks/numbers/NumbersCreator.h"
#include "frameworks/pages/PagesCreator.h"
#include "frameworks/xlsx/XlsxCreater.h"

namespace {

template <typename Creator>
ExportResult resultOf(Creator& creator) {
  ExportResult result;
  if (creator.startConvert()) {
    result.file = creator.outputPath();
  } else {
    result.error = creator.error().empty() ? "the writer gave no reason" : creator.error();
  }
  return result;
}

}  // namespace

void installFormatWriters(ExportContact& driver) {
  driver.setWriter("Save to Excel", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    XlsxCreater creator(records, path, allInfo);
    return resultOf(creator);
  });
  driver.setWriter("Save to Docx", [](const ContactRecords& records, const std::string& path, bool) {
    DocxCreator creator(records, path);
    return resultOf(creator);
  });
  driver.setWriter("Save to Numbers", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    NumbersCreator creator(records, path, allInfo);
    return resultOf(creator);
  });
  driver.setWriter("Save to Pages", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    PagesCreator creator(records, path, allInfo);
    return resultOf(creator);
  });
}
