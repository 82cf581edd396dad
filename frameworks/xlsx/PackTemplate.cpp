// Build step: packs a folder of package sources into one zip package.
//   quarnel-pack <source folder> <package>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <vector>

#include "frameworks/zip/ZipArchive.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: quarnel-pack SOURCE-FOLDER PACKAGE\n";
    return 2;
  }
  const fs::path source = argv[1];
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(source))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ZipArchive zip;
  if (!zip.CreateZipFile2(argv[2])) {
    std::cerr << "quarnel-pack: cannot create " << argv[2] << "\n";
    return 1;
  }
  for (const auto& file : files) {
    if (!zip.addFileToZipNewname(file.string(), fs::relative(file, source).generic_string())) {
      std::cerr << "quarnel-pack: cannot add " << file << "\n";
      return 1;
    }
  }
  return zip.CloseZipFile2() ? 0 : 1;
}
