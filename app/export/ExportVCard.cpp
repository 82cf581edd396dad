#include "app/export/ExportVCard.h"

#include <filesystem>

#include "app/browser/ContactCommit.h"
#include "frameworks/common/OutputFile.h"

ABPersonRef ExportVCard::creatPersonWithDictionary(const ContactRecord& record) {
  return ContactCommit::personFromRecord(record);
}

ExportResult ExportVCard::exportVcardWithArrayToPath(const ContactRecords& records, const std::string& folder) {
  ExportResult result;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    result.error = "The folder \"" + folder + "\" does not exist.";
    return result;
  }
  if (records.empty()) {
    result.error = "There are no contacts to export.";
    return result;
  }
  const std::filesystem::path base(folder);
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string path = (base / ("export_" + std::to_string(i) + ".vcf")).string();
    std::string error;
    if (!replaceFileAtomically(path, creatPersonWithDictionary(records[i])->vCardRepresentation(), &error) &&
        result.error.empty())
      result.error = error;
  }
  result.ok = result.error.empty();
  result.file = (base / "export_0.vcf").string();
  return result;
}
