#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

// Imports every file into the store and saves once; on any bad file nothing is saved.
int runImport(CommandContext& ctx) {
  if (ctx.args.empty()) {
    ctx.err << "rolvane import: no vCard file given (usage: rolvane [--store PATH] import FILE.vcf...)\n";
    return 2;
  }
  std::vector<std::filesystem::path> paths(ctx.args.begin(), ctx.args.end());
  for (const auto& path : paths) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      ctx.err << "rolvane import: " << path.string() << ": cannot read the file (not a readable file)\n";
      return 1;
    }
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  VCardBookImportResult result = importVCardFilesIntoAddressBook(*book, paths);
  if (!result.ok()) {
    ctx.err << "rolvane import: " << result.error << "\n";
    return 1;
  }
  std::string error;
  if (!book->save(&error)) {
    for (const auto& person : result.added) book->removeRecord(person);
    ctx.err << "rolvane import: cannot save the address book: " << error << "\n";
    return 1;
  }
  for (const auto& file : result.files)
    ctx.out << "Imported " << file.contacts << (file.contacts == 1 ? " contact" : " contacts") << " from "
            << file.path.string() << "\n";
  return 0;
}

CommandRegistration registration("import", "import FILE.vcf...           add the contacts of vCard files to the store",
                                 runImport);

}  // namespace
