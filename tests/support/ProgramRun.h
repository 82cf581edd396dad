#pragma once

// Running programs and reading files from tests.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ProgramRun {
  int status;  // the exit status, -1 when the program did not exit normally
  std::string out;
};

// Runs a program with the arguments (no shell), its standard output and error captured together;
// with addressSpaceLimit, the program can map no more than that many bytes (RLIMIT_AS).
inline ProgramRun runProgram(const std::string& program, std::vector<std::string> args,
                             std::size_t addressSpaceLimit = 0) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {-1, ""};
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipefd[1], 1);
    dup2(pipefd[1], 2);
    close(pipefd[0]);
    if (addressSpaceLimit > 0) {
      const rlimit limit{addressSpaceLimit, addressSpaceLimit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  std::string out;
  std::array<char, 4096> buffer;
  ssize_t n;
  while ((n = read(pipefd[0], buffer.data(), buffer.size())) > 0) out.append(buffer.data(), static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// The whole content of a file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
