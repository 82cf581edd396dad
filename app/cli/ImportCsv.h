#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "app/csv/CsvImport.h"

// The import command's CSV side: the options only CSV files take, and the import of CSV files.

// Reads a CSV option at args[at] (--profile, --charset, --delimiter, --map with its value) into
// options: 1 when it took the option (at then points at its value), 0 when args[at] is none of
// them, -1 after a line on err when its value is missing or wrong.
int csvImportArgument(CommandContext& ctx, size_t& at, CsvImportOptions& options, bool& given);

// Imports CSV files into the store as one change set, all or nothing: a bad file (its line named)
// changes nothing.
int importCsvFiles(CommandContext& ctx, const std::vector<std::filesystem::path>& paths,
                   const CsvImportOptions& options, const std::string& toSource);
