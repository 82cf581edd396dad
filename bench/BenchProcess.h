#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchRegistry.h"

// A program run on its own, as /usr/bin/time sees it.
struct ProcessRun {
  bool ok = false;  // started and exited with status 0
  double seconds = 0;
  double peakMegabytes = 0;  // the child's maximum resident set
  std::string output;        // what it wrote to standard output
  std::string errors;        // the end of what it wrote to standard error
};

// Runs argv[0] (a path) with the arguments, waits for it and measures it. Standard output is kept
// unless discardOutput is set.
ProcessRun runProcess(const std::vector<std::string>& argv, bool discardOutput = false);

// The rolvane program built beside this benchmark program.
std::filesystem::path rolvaneProgram();

// References, each measured as it runs now; nullopt when the tool is missing or fails.
// dd writing `bytes` bytes into the folder (the file is removed afterwards); onDisk: until they are
// on the disk (conv=fdatasync), not only in the page cache.
std::optional<BenchReference> ddWriting(const std::filesystem::path& folder, std::uintmax_t bytes, bool onDisk = false);
// Seconds it takes to get what the files under path hold onto the disk (fdatasync of each file);
// nullopt when one cannot be opened or synced.
std::optional<double> secondsToDisk(const std::filesystem::path& path);
// python3-vobject (Debian's, through /usr/bin/python3) parsing every card of the file.
std::optional<BenchReference> vobjectParsing(const std::filesystem::path& vcf);
// Python's csv module writing the rows of the CSV file into the folder; the time of the writing
// alone, the memory of the whole program.
std::optional<BenchReference> pythonCsvWriting(const std::filesystem::path& csv, const std::filesystem::path& folder);
// Creating as many files as `like` holds, each with as many bytes as its counterpart, in a new
// folder beside it (removed afterwards).
std::optional<BenchReference> creatingFilesLike(const std::filesystem::path& like);

// The size of a file, or the sum of the sizes of the files in a folder.
std::uintmax_t bytesOf(const std::filesystem::path& path);
// "1.02 GB", "35.1 MB", "812 kB"
std::string byteText(std::uintmax_t bytes);
