#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

// A fresh folder for one test's store files, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    path_ = std::filesystem::temp_directory_path() / ("rolvane-test-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};
