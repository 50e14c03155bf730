// A fixture that runs each test in a fresh temporary working directory, so
// that "wb.conf" is created and read there and never in the source tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
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
    // A fresh name: create_directory is false for one that exists already.
    std::random_device random;
    for (int i = 0; i < 100 && directory_.empty(); ++i) {
      const auto candidate =
          std::filesystem::temp_directory_path() / ("ocamera-tools-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) directory_ = candidate;
    }
    ASSERT_FALSE(directory_.empty());
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
