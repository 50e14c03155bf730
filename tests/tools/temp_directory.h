// A fixture that runs each test in a fresh temporary working directory, so
// that "wb.conf" is created and read there and never in the source tree.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// Replaces "wb.conf" in the current directory with `text`.
inline void WriteFactorsFile(const std::string &text) {
  std::ofstream("wb.conf", std::ios::binary) << text;
}

inline std::string ReadFactorsFile() {
  std::ifstream in("wb.conf", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class InTemporaryDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ocamera-tools-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    std::filesystem::current_path(directory_);
  }

  void TearDown() override {
    std::filesystem::current_path(previous_);
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path directory_;
};
