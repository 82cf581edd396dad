#include "app/export/ColumnIndex.h"

#include <cstdio>

ColumnIndex::ColumnIndex(const std::vector<std::string>& columns) : count_(columns.size()) {
  for (size_t i = 0; i < columns.size(); ++i) positions_[columns[i]].push_back(i);
}

void ColumnIndex::fill(const ContactRecord& record, std::vector<const RecordValue*>& slots) const {
  slots.assign(count_, nullptr);
  for (const auto& [key, value] : record.entries()) {
    auto it = positions_.find(key);
    if (it == positions_.end()) continue;
    for (size_t position : it->second) slots[position] = &value;
  }
}

bool ColumnIndex::appendText(std::string& out, const RecordValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    out += *text;
    return true;
  }
  if (const auto* date = std::get_if<ABDate>(&value)) {
    out += date->toIsoString();
    return true;
  }
  return false;
}

ChunkedFile::ChunkedFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")), ok_(file_ != nullptr) {
  buffer_.reserve(1 << 21);
}

void ChunkedFile::flushIfLarge() {
  if (buffer_.size() < (1 << 20)) return;
  if (ok_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
  buffer_.clear();
}

bool ChunkedFile::finish() {
  if (ok_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
  buffer_.clear();
  if (file_ && std::fclose(file_) != 0) ok_ = false;
  file_ = nullptr;
  return ok_;
}

ExportResult finishOutput(ChunkedFile& file, OutputFile& output) {
  ExportResult result;
  if (!file.finish()) {
    result.error = "could not write " + output.temporaryPath();
    return result;
  }
  if (!output.commit()) {
    result.error = output.error();
    return result;
  }
  result.ok = true;
  result.file = output.finalPath();
  return result;
}
