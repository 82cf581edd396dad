#include "app/export/ExportVCard.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "app/export/RecordPersonData.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

constexpr size_t kCardsPerTake = 32;

// Writes the cards of one export: each file under a temporary name beside it, renamed over the
// file's name when complete.
class CardFiles {
 public:
  explicit CardFiles(std::string prefix) : prefix_(std::move(prefix)) {}

  std::string pathOf(size_t index) const { return prefix_ + "export_" + std::to_string(index) + ".vcf"; }

  // Empty, or why the card could not be written.
  std::string write(size_t index, const std::string& card) {
    const std::string path = pathOf(index);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temporary = prefix_ + ".export_" + std::to_string(index) + ".vcf." + randomTag() + ".part";
      fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return describeErrno("Cannot create a file in the folder of", path);
    const char* data = card.data();
    size_t left = card.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::string error = describeErrno("Cannot write", path);
        ::close(fd);
        ::unlink(temporary.c_str());
        return error;
      }
      data += n;
      left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
      std::string error = describeErrno("Cannot write", path);
      ::unlink(temporary.c_str());
      return error;
    }
    return {};
  }

 private:
  static std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
  }

  static std::string randomTag() {
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

  std::string prefix_;
};

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
  const std::string& error() const { return error_; }

 private:
  std::mutex mutex_;
  size_t index_ = std::numeric_limits<size_t>::max();
  std::string error_;
};

}  // namespace

ABPersonRef ExportVCard::creatPersonWithDictionary(const ContactRecord& record) {
  return std::make_shared<ABPerson>(personDataFromRecord(record));
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
  CardFiles files((base / "").string());
  FirstFailure failure;
  std::atomic<size_t> next{0};
  // Card i always goes to export_i.vcf, whichever thread writes it.
  auto work = [&] {
    std::string card;
    for (;;) {
      const size_t from = next.fetch_add(kCardsPerTake);
      if (from >= records.size()) return;
      const size_t to = std::min(records.size(), from + kCardsPerTake);
      for (size_t i = from; i < to; ++i) {
        ABPersonData person = personDataFromRecord(records[i]);
        person.set(kABUIDProperty, ABPerson::makeUniqueId());
        card.clear();
        appendVCard(person, card);
        if (std::string error = files.write(i, card); !error.empty()) failure.report(i, std::move(error));
      }
    }
  };
  const size_t helpers = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u) - 1,
                                          (records.size() - 1) / kCardsPerTake);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < helpers; ++t) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (auto& thread : threads) thread.join();
  result.error = failure.error();
  result.ok = result.error.empty();
  result.file = (base / "export_0.vcf").string();
  result.fileCount = records.size();
  return result;
}
