// Small helpers shared by the application-services tests: a scratch folder per test and
// whole-file reads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fp_test {

inline std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Splits on CR LF; a text that ends with CR LF gives no empty last element.
inline std::vector<std::string> CrLfLines(const std::string& aText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < aText.size()) {
    size_t end = aText.find("\r\n", start);
    if (end == std::string::npos) end = aText.size();
    lines.push_back(aText.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A fresh empty folder for one test, removed with it. The process id keeps runs of the
// same test from several builds at once out of each other's way.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fPath = std::filesystem::path(::testing::TempDir()) /
            (std::string("fp_services_") + info->test_suite_name() + "_" + info->name() + "_" +
             std::to_string(::getpid()));
    std::filesystem::remove_all(fPath);
    std::filesystem::create_directories(fPath);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(fPath, ec);
  }
  std::string Path() const { return fPath.string(); }
  std::string operator/(const std::string& aName) const { return (fPath / aName).string(); }

 private:
  std::filesystem::path fPath;
};

}  // namespace fp_test
