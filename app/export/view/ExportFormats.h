#pragma once

#include <string>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/model/ContactRecord.h"

// The formats of the export panel's chooser and the writer behind each title.
namespace ExportFormats {

// The eight titles in chooser order.
const std::vector<std::string>& titles();

// Runs the writer of the title on the records into the folder. The writers named
// folder + "/Zedid-Ovuzazur" get that destination, the others the folder itself.
ExportResult run(const std::string& title, const ContactRecords& records, const std::string& folder,
                 bool isShowAllInfo);

}  // namespace ExportFormats
