#include "bench/XlsxReference.h"

#include <filesystem>

#ifdef ROLVANE_BENCH_LIBXLSXWRITER
#include <xlsxwriter.h>
#endif

bool haveLibxlsxwriter() {
#ifdef ROLVANE_BENCH_LIBXLSXWRITER
  return true;
#else
  return false;
#endif
}

bool writeWithLibxlsxwriter(const ContactRecords& records, const std::vector<std::string>& columns,
                            const std::string& path) {
#ifdef ROLVANE_BENCH_LIBXLSXWRITER
  std::string folder = std::filesystem::path(path).parent_path().string();
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = folder.data();
  options.use_zip64 = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
  if (!workbook) return false;
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
  for (size_t c = 0; c < columns.size(); ++c)
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), columns[c].c_str(), nullptr);
  lxw_row_t row = 1;
  for (const auto& record : records) {
    for (size_t c = 0; c < columns.size(); ++c)
      if (auto text = record.text(columns[c]))
        worksheet_write_string(sheet, row, static_cast<lxw_col_t>(c), text->c_str(), nullptr);
    ++row;
  }
  return workbook_close(workbook) == LXW_NO_ERROR;
#else
  (void)records;
  (void)columns;
  (void)path;
  return false;
#endif
}
