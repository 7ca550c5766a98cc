// The platform layer's file functions that the log writer stands on, with names beyond
// ASCII (wide names on Windows) and the cases the log rollover relies on.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "base/platform.h"
#include "test_support.h"

using fp_test::ScratchDir;

namespace fp {
namespace {

// The file's bytes, its UTF-8 name taken as such (not in the ANSI code page) everywhere.
std::string ReadByUtf8Name(const std::string& aPath) {
  std::ifstream in(std::filesystem::path(std::u8string(aPath.begin(), aPath.end())), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PlatformFiles, AppendCreatesAndExtendsFilesWithAnyName) {
  ScratchDir dir;
  for (const std::string name : {"plain.log", "caff\xC3\xA8 \xCE\xB1\xCE\xB2\xCE\xB3.log", "\xE6\x97\xA5\xE5\xBF\x97.log"}) {
    const std::string path = dir.Path() + "/" + name;  // UTF-8 throughout
    EXPECT_EQ(FileSizeOf(path), -1) << name;
    ASSERT_TRUE(AppendToFile(path, "one\r\n")) << name;
    ASSERT_TRUE(AppendToFile(path, "two\r\n")) << name;
    EXPECT_EQ(FileSizeOf(path), 10) << name;
    EXPECT_EQ(ReadByUtf8Name(path), "one\r\ntwo\r\n") << name;
  }
}

TEST(PlatformFiles, FailuresAreReportedNotHidden) {
  ScratchDir dir;
  EXPECT_FALSE(AppendToFile(dir / "missing-folder/x.log", "line"));
  EXPECT_EQ(FileSizeOf(dir.Path()), -1);  // a folder has no file size
  EXPECT_EQ(FileSizeOf(""), -1);
}

TEST(PlatformFiles, RenameNeverReplacesAnExistingFile) {
  ScratchDir dir;
  ASSERT_TRUE(AppendToFile(dir / "a.log", "old"));
  ASSERT_TRUE(AppendToFile(dir / "b.log", "newer"));
  EXPECT_FALSE(RenameNoReplace(dir / "b.log", dir / "a.log"));
  EXPECT_EQ(ReadByUtf8Name(dir / "a.log"), "old");
  EXPECT_TRUE(RenameNoReplace(dir / "b.log", dir / "c.log"));
  EXPECT_EQ(FileSizeOf(dir / "b.log"), -1);
  EXPECT_EQ(ReadByUtf8Name(dir / "c.log"), "newer");
}

TEST(PlatformText, CaseMappingCoversMoreThanAscii) {
  struct Case {
    char32_t upper, lower;
  } cases[] = {{U'A', U'a'}, {U'\u00C8', U'\u00E8'}, {U'\u0391', U'\u03B1'}, {U'\u0416', U'\u0436'}};
  for (const auto& c : cases) {
    EXPECT_EQ(LowerCaseChar(c.upper), c.lower) << static_cast<uint32_t>(c.upper);
    EXPECT_EQ(UpperCaseChar(c.lower), c.upper) << static_cast<uint32_t>(c.lower);
  }
  EXPECT_EQ(LowerCaseChar(U'7'), U'7');
  EXPECT_EQ(UpperCaseChar(U'\u00DF'), U'\u00DF');  // no single-character upper case
}

}  // namespace
}  // namespace fp
