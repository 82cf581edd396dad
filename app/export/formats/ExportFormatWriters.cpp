#include "app/export/formats/ExportFormatWriters.h"

#include "app/export/ExportContact.h"

#ifdef ROLVANE_WITH_QUARNEL
#include "frameworks/xlsx/XlsxCreater.h"
#endif
#ifdef ROLVANE_WITH_WISTREL
#include "frameworks/docx/DocxCreator.h"
#endif
#ifdef ROLVANE_WITH_LUMBREK
#include "frameworks/numbers/NumbersCreator.h"
#endif
#ifdef ROLVANE_WITH_PAVROST
#include "frameworks/pages/PagesCreator.h"
#endif

namespace {

template <typename Creator>
[[maybe_unused]] ExportResult resultOf(Creator& creator) {
  ExportResult result;
  result.ok = creator.startConvert();
  result.file = creator.outputPath();
  result.error = creator.errorText();
  return result;
}

}  // namespace

void installFormatWriters([[maybe_unused]] ExportContact& driver) {
#ifdef ROLVANE_WITH_QUARNEL
  driver.setWriter("Save to Excel", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    XlsxCreater creator(records, path, allInfo);
    return resultOf(creator);
  });
#endif
#ifdef ROLVANE_WITH_WISTREL
  driver.setWriter("Save to Docx", [](const ContactRecords& records, const std::string& path, bool) {
    DocxCreator creator(records, path);
    return resultOf(creator);
  });
#endif
#ifdef ROLVANE_WITH_LUMBREK
  driver.setWriter("Save to Numbers", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    NumbersCreator creator(records, path, allInfo);
    return resultOf(creator);
  });
#endif
#ifdef ROLVANE_WITH_PAVROST
  driver.setWriter("Save to Pages", [](const ContactRecords& records, const std::string& path, bool allInfo) {
    PagesCreator creator(records, path, allInfo);
    return resultOf(creator);
  });
#endif
}
