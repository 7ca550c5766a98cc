// Small fixtures for the transport tests of this folder: a scratch folder for device logs
// and a reader of log entries.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fp::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fpserial_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    fPath = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(fPath, ec);
  }
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// The entries of a log file without their time stamps: "msg" for information and
// "ERROR - msg" for errors.
inline std::vector<std::string> LogEntries(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d.\d\d.\d\d.\d{3} - )");
  std::vector<std::string> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    std::smatch m;
    if (std::regex_search(line, m, stamp))
      entries.push_back(m.suffix());
    else if (!entries.empty())
      entries.back() += "\r\n" + line;
    pos = end + 2;
  }
  return entries;
}

}  // namespace fp::test
