#include "bench/BenchProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string readAll(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

bool hasPythonModule(const char* module) {
  const ProcessRun probe = runProcess({"/usr/bin/python3", "-c", std::string("import ") + module}, true);
  return probe.ok;
}

}  // namespace

ProcessRun runProcess(const std::vector<std::string>& argv, bool discardOutput) {
  ProcessRun run;
  if (argv.empty()) return run;
  // Standard output and standard error go to files: a pipe could fill and stop the child.
  char outName[] = "/tmp/rolvane-bench-out-XXXXXX";
  char errName[] = "/tmp/rolvane-bench-err-XXXXXX";
  const int out = discardOutput ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : ::mkstemp(outName);
  const int err = ::mkstemp(errName);
  if (out < 0 || err < 0) return run;
  if (!discardOutput) ::unlink(outName);
  ::unlink(errName);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::fflush(stdout);
  // What earlier steps wrote goes to the disk before the clock starts: otherwise the kernel writes a
  // gigabyte of an export's pages back while the next program runs, on the same two cores.
  ::sync();
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  const bool waited = child > 0 && wait4(child, &status, 0, &usage) == child;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMegabytes = usage.ru_maxrss / 1024.0;
  run.ok = waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!discardOutput) {
    ::lseek(out, 0, SEEK_SET);
    run.output = readAll(out);
  }
  ::lseek(err, 0, SEEK_SET);
  run.errors = readAll(err);
  if (run.errors.size() > 2000) run.errors = run.errors.substr(run.errors.size() - 2000);
  ::close(out);
  ::close(err);
  return run;
}

fs::path rolvaneProgram() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path() / "rolvane";
}

std::optional<BenchReference> ddWriting(const fs::path& folder, std::uintmax_t bytes, bool onDisk) {
  // dd as a user runs it (blocks of 1 MiB) and with blocks of an odd size, the faster of the two.
  // On a virtual machine that reports freed memory to its host (virtio_balloon), dd bs=1M has been
  // seen writing four to six times slower than dd of an odd block size, run after run: the whole
  // pages of MiB writes come from memory the host took back, each costing a fault there. The
  // exports write pieces of every size, so the fair reference is the faster dd.
  const fs::path target = folder / "dd-reference.out";
  std::optional<double> fastest;
  double peak = 0;
  for (const char* blockSize : {"1M", "1000003"}) {
    std::vector<std::string> argv = {"/bin/dd",
                                     "if=/dev/zero",
                                     "of=" + target.string(),
                                     std::string("bs=") + blockSize,
                                     "count=" + std::to_string(bytes),
                                     "iflag=count_bytes",
                                     "status=none"};
    if (onDisk) argv.push_back("conv=fdatasync");
    const ProcessRun run = runProcess(argv, true);
    std::error_code ec;
    fs::remove(target, ec);
    if (!run.ok) return std::nullopt;
    if (!fastest || run.seconds < *fastest) {
      fastest = run.seconds;
      peak = run.peakMegabytes;
    }
  }
  return BenchReference{"dd writing " + byteText(bytes) + (onDisk ? ", until on disk" : "") +
                            " (the faster of blocks of 1 MiB and of 1000003 bytes)",
                        *fastest, peak};
}

std::optional<double> secondsToDisk(const fs::path& path) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<fs::path> files;
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) {
    files.push_back(path);
  } else {
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return std::nullopt;
  for (const fs::path& file : files) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool synced = ::fdatasync(fd) == 0;
    ::close(fd);
    if (!synced) return std::nullopt;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::optional<BenchReference> vobjectParsing(const fs::path& vcf) {
  if (!hasPythonModule("vobject")) return std::nullopt;
  const ProcessRun run = runProcess({"/usr/bin/python3", "-c",
                                     "import sys, vobject\n"
                                     "with open(sys.argv[1], encoding='utf-8') as f:\n"
                                     "    print(sum(1 for _ in vobject.readComponents(f)))\n",
                                     vcf.string()});
  if (!run.ok) {
    std::fprintf(stderr, "python3-vobject failed: %s\n", run.errors.c_str());
    return std::nullopt;
  }
  return BenchReference{"python3-vobject parsing the file", run.seconds, run.peakMegabytes};
}

std::optional<BenchReference> pythonCsvWriting(const fs::path& csv, const fs::path& folder) {
  const fs::path target = folder / "python-csv-reference.csv";
  const ProcessRun run = runProcess({"/usr/bin/python3", "-c",
                                     "import csv, sys, time\n"
                                     "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                     "    rows = list(csv.reader(f))\n"
                                     "start = time.perf_counter()\n"
                                     "with open(sys.argv[2], 'w', newline='', encoding='utf-8') as f:\n"
                                     "    csv.writer(f, lineterminator='\\n').writerows(rows)\n"
                                     "print(time.perf_counter() - start)\n",
                                     csv.string(), target.string()});
  std::error_code ec;
  fs::remove(target, ec);
  if (!run.ok) return std::nullopt;
  return BenchReference{"Python csv writing the same rows", std::strtod(run.output.c_str(), nullptr),
                        run.peakMegabytes};
}

std::optional<BenchReference> creatingFilesLike(const fs::path& like) {
  std::vector<std::uintmax_t> sizes;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(like, ec))
    if (entry.is_regular_file()) sizes.push_back(entry.file_size());
  const fs::path folder = like.string() + "-reference";
  fs::create_directories(folder, ec);
  std::string bytes;
  bool ok = true;
  const double seconds = secondsOf([&] {
    for (size_t i = 0; i < sizes.size() && ok; ++i) {
      bytes.assign(sizes[i], 'x');
      const std::string name = (folder / ("file_" + std::to_string(i))).string();
      const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
      if (fd >= 0) ::close(fd);
    }
  });
  fs::remove_all(folder, ec);
  if (!ok) return std::nullopt;
  return BenchReference{"creating " + std::to_string(sizes.size()) + " files of the same sizes", seconds, 0};
}

std::uintmax_t bytesOf(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return fs::file_size(path, ec);
  std::uintmax_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(path, ec))
    if (entry.is_regular_file()) total += entry.file_size();
  return total;
}

std::string byteText(std::uintmax_t bytes) {
  char text[32];
  if (bytes >= 1000000000)
    std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
  else if (bytes >= 1000000)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else
    std::snprintf(text, sizeof text, "%.0f kB", bytes / 1e3);
  return text;
}
