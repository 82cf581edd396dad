#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

// Reads every file, then adds their contacts to the store and saves once. A bad file is found
// before the store is opened, so it leaves the store as it was (and makes none where there was none).
int runImport(CommandContext& ctx) {
  if (ctx.args.empty()) {
    ctx.err << "rolvane import: no vCard file given (usage: rolvane [--store PATH] import FILE.vcf...)\n";
    return 2;
  }
  std::vector<std::filesystem::path> paths(ctx.args.begin(), ctx.args.end());
  for (const auto& path : paths) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      const char* why = !std::filesystem::exists(path, ec)        ? "no such file"
                        : std::filesystem::is_directory(path, ec) ? "it is a folder"
                                                                  : "not a regular file";
      ctx.err << "rolvane import: " << path.string() << ": cannot read the file (" << why << ")\n";
      return 1;
    }
  }
  VCardFilesRead read = readVCardFiles(paths);
  if (!read.ok()) {
    ctx.err << "rolvane import: " << read.error << "\n";
    return 1;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  VCardBookImportResult result = addVCardFilesToAddressBook(*book, std::move(read));
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
