#include "app/export/ExportVCard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>
#include <random>
#include <vector>

#include "app/export/BlockFile.h"
#include "app/export/RecordPersonData.h"
#include "frameworks/common/Function.h"
#include "frameworks/common/Leftovers.h"
#include "frameworks/common/OutputFile.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/threads/ParallelFor.h"

namespace {

constexpr size_t kCardsPerTake = 32;
const char* const kFolderName = "Zedid-Ovuzazur";

std::string describeErrno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string randomTag() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uint64_t bits = generator();
  std::string tag(6, 'x');
  for (char& c : tag) {
    c = kLetters[bits % 62];
    bits /= 62;
  }
  return tag;
}

// The card of a record: the person's own vCard when whole persons are asked for and the record
// refers to its person, else the vCard of a person built from the record's keys, with the unique id
// of the person the record refers to (a new one only for a record of no person).
void appendCard(const ContactRecord& record, bool wholePersons, std::string& card) {
  ABPersonRef person = record.person();
  if (wholePersons && person) {
    appendVCard(*person->snapshot(), card);
    return;
  }
  ABPersonData data = personDataFromRecord(record);
  data.set(kABUIDProperty, person ? person->uniqueId() : ABPerson::makeUniqueId());
  appendVCard(data, card);
}

// The first failure in record order.
class FirstFailure {
 public:
  void report(size_t index, std::string error) {
    std::lock_guard lock(mutex_);
    if (index < index_) {
      index_ = index;
      error_ = std::move(error);
    }
  }
  bool failed() const {
    std::lock_guard lock(mutex_);
    return !error_.empty();
  }
  const std::string& error() const { return error_; }

 private:
  mutable std::mutex mutex_;
  size_t index_ = std::numeric_limits<size_t>::max();
  std::string error_;
};

// Writes a whole new file; empty, or why it could not.
std::string writeNewFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return describeErrno("Cannot create", path);
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string error = describeErrno("Cannot write", path);
      ::close(fd);
      return error;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) return describeErrno("Cannot write", path);
  return {};
}

// Renames a folder to the first free name of the unique output path rule; never replaces one.
bool renameToFreeName(const std::string& from, const std::string& wanted, std::string& final, std::string* error) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    final = Function::GetOutPutFile(wanted);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, final.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
      // File systems without RENAME_NOREPLACE: the name was free a moment ago.
      std::error_code ec;
      if (!std::filesystem::exists(final, ec) && ::rename(from.c_str(), final.c_str()) == 0) return true;
    }
    if (errno != EEXIST && errno != ENOTEMPTY && errno != EINVAL && errno != ENOSYS) {
      if (error) *error = describeErrno("Cannot write", final);
      return false;
    }
  }
  if (error) *error = "Cannot find a free folder name for " + wanted;
  return false;
}

}  // namespace

ABPersonRef ExportVCard::creatPersonWithDictionary(const ContactRecord& record) {
  return std::make_shared<ABPerson>(personDataFromRecord(record));
}

namespace {

// Appends card i of a batch to out.
using CardAppender = std::function<void(size_t i, std::string& out)>;
// Takes one batch of cards, in order: how many, and how to write each. False stops the source.
using CardBatchWriter = std::function<bool(size_t count, const CardAppender& append)>;
// Gives every card, a batch at a time, to the writer; false (and *error) when it could not give
// them all.
using CardSource = std::function<bool(const CardBatchWriter& write, std::string* error)>;

CardSource cardsOfRecords(const ContactRecords& records, bool wholePersons,
                          const std::vector<ABPersonData>& groupCards) {
  return [&records, wholePersons, &groupCards](const CardBatchWriter& write, std::string*) {
    write(records.size() + groupCards.size(), [&](size_t i, std::string& out) {
      if (i < records.size())
        appendCard(records[i], wholePersons, out);
      else
        appendVCard(groupCards[i - records.size()], out);
    });
    return true;
  };
}

CardSource cardsOfPersons(const ExportVCard::PersonBatches& persons) {
  return [&persons](const CardBatchWriter& write, std::string* error) {
    bool writing = true;
    const bool given = persons(
        [&](std::vector<ABPersonData>& batch) {
          if (writing) writing = write(batch.size(), [&](size_t i, std::string& out) { appendVCard(batch[i], out); });
        },
        error);
    return given || !writing;
  };
}

ExportResult writeCardFolder(const CardSource& cards, const std::string& folder) {
  ExportResult result;
  std::error_code ec;
  // The cards go into a new folder, under a temporary name until every card is written.
  const std::filesystem::path base(folder);
  std::string working;
  for (int attempt = 0; attempt < 100 && working.empty(); ++attempt) {
    std::string candidate = (base / ("." + std::string(kFolderName) + "." + randomTag() + ".part")).string();
    if (::mkdir(candidate.c_str(), 0777) == 0)
      working = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (working.empty()) {
    result.error = describeErrno("Cannot create a folder in", folder);
    return result;
  }
  ExportLock inUse(working);  // no cleanup of leftovers takes the folder while the cards go in
  const std::string prefix = working + "/export_";
  FirstFailure failure;
  size_t written = 0;
  // Card i always goes to export_i.vcf, whichever thread writes it.
  auto writeBatch = [&](size_t count, const CardAppender& append) {
    const size_t first = written;
    std::atomic<size_t> next{0};
    auto work = [&] {
      std::string card;
      for (;;) {
        const size_t from = next.fetch_add(kCardsPerTake);
        if (from >= count || failure.failed()) return;
        const size_t to = std::min(count, from + kCardsPerTake);
        for (size_t i = from; i < to; ++i) {
          card.clear();
          append(i, card);
          if (std::string error = writeNewFile(prefix + std::to_string(first + i) + ".vcf", card); !error.empty()) {
            failure.report(first + i, std::move(error));
            return;
          }
        }
      }
    };
    if (count > 0) {
      // Up to four takers (the files' creation waits on the disk as much as on a core), one per core.
      const size_t takers = std::min<size_t>(4, 1 + (count - 1) / kCardsPerTake);
      parallelFor(takers, 1, [&](size_t begin, size_t end) {
        for (size_t taker = begin; taker < end; ++taker) work();
      });
    }
    written += count;
    return !failure.failed();
  };
  std::string sourceError;
  const bool given = cards(writeBatch, &sourceError);
  std::string final;
  std::string error = failure.error();
  if (error.empty() && !given) error = sourceError.empty() ? "Cannot read the contacts." : sourceError;
  if (error.empty() && written == 0) error = "There are no contacts to export.";
  if (error.empty()) renameToFreeName(working, (base / kFolderName).string(), final, &error);
  if (!error.empty()) {
    std::filesystem::remove_all(working, ec);
    result.error = std::move(error);
    return result;
  }
  result.file = final;
  result.fileCount = written;
  return result;
}

ExportResult writeCardFile(const CardSource& cards, const std::string& destination) {
  ExportResult result;
  const std::filesystem::path wanted(destination + ".vcf");
  OutputFile output(wanted.string());
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  BlockFile file(output.temporaryPath());
  size_t written = 0;
  std::string second;
  auto writeBatch = [&](size_t count, const CardAppender& append) {
    // The second half of the cards is written out on another core while the first half goes to the
    // file.
    const size_t half = count >= 2 * kCardsPerTake ? count / 2 : count;
    second.clear();
    parallelFor(half < count ? 2 : 1, 1, [&](size_t begin, size_t end) {
      for (size_t part = begin; part < end; ++part) {
        if (part == 1) {
          second.reserve((count - half) * 512);
          for (size_t i = half; i < count; ++i) append(i, second);
          continue;
        }
        std::string card;
        for (size_t i = 0; i < half; ++i) {
          card.clear();
          append(i, card);
          file.append(card);
          file.flushIfFull();
        }
      }
    });
    for (size_t at = 0; at < second.size(); at += BlockFile::kBlockSize) {
      file.append(std::string_view(second).substr(at, BlockFile::kBlockSize));
      file.flushIfFull();
    }
    written += count;
    return true;
  };
  std::string sourceError;
  if (!cards(writeBatch, &sourceError)) {
    result.error = sourceError.empty() ? "Cannot read the contacts." : sourceError;
    return result;
  }
  if (written == 0) {
    result.error = "There are no contacts to export.";
    return result;
  }
  return finishOutput(file, output);
}

bool isFolder(const std::string& folder, ExportResult& result) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  result.error = "The folder \"" + folder + "\" does not exist.";
  return false;
}

}  // namespace

ExportResult ExportVCard::exportVcardWithArrayToPath(const ContactRecords& records, const std::string& folder,
                                                     bool wholePersons, const std::vector<ABPersonData>& groupCards) {
  ExportResult result;
  if (!isFolder(folder, result)) return result;
  if (records.empty()) {
    result.error = "There are no contacts to export.";
    return result;
  }
  return writeCardFolder(cardsOfRecords(records, wholePersons, groupCards), folder);
}

ExportResult ExportVCard::exportOneFileWithArrayToPath(const ContactRecords& records, const std::string& destination,
                                                       bool wholePersons, const std::vector<ABPersonData>& groupCards) {
  ExportResult result;
  if (!isFolder(std::filesystem::path(destination + ".vcf").parent_path().string(), result)) return result;
  if (records.empty()) {
    result.error = "There are no contacts to export.";
    return result;
  }
  return writeCardFile(cardsOfRecords(records, wholePersons, groupCards), destination);
}

ExportResult ExportVCard::exportPersonsToFolder(const PersonBatches& persons, const std::string& folder) {
  ExportResult result;
  if (!isFolder(folder, result)) return result;
  return writeCardFolder(cardsOfPersons(persons), folder);
}

ExportResult ExportVCard::exportPersonsToOneFile(const PersonBatches& persons, const std::string& destination) {
  ExportResult result;
  if (!isFolder(std::filesystem::path(destination + ".vcf").parent_path().string(), result)) return result;
  return writeCardFile(cardsOfPersons(persons), destination);
}
