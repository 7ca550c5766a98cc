#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "base/app_info.h"
#include "base/app_utils.h"
#include "base/application.h"
#include "base/errors.h"
#include "base/platform.h"
#include "test_support.h"

using namespace fp;
using fp_test::CrLfLines;
using fp_test::ReadFile;
using fp_test::ScratchDir;
namespace fs = std::filesystem;

namespace {

DateTime At(int h, int mi, int s, int ms) { return *EncodeDateTime(2025, 3, 4, h, mi, s, ms); }

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* aName, const char* aValue) : fName(aName) {
    if (const char* old = std::getenv(aName)) fOld = old;
    if (aValue) setenv(aName, aValue, 1);
    else unsetenv(aName);
  }
  ~ScopedEnv() {
    if (fOld) setenv(fName, fOld->c_str(), 1);
    else unsetenv(fName);
  }

 private:
  const char* fName;
  std::optional<std::string> fOld;
};

tVN_StringTable Table(std::map<int, std::string> aEntries) {
  return [aEntries](int aId) -> std::optional<std::string> {
    auto it = aEntries.find(aId);
    if (it == aEntries.end()) return std::nullopt;
    return it->second;
  };
}

}  // namespace

TEST(TextHelpers, ExtractField) {
  struct Case {
    const char* text;
    int index;
    char sep;
    bool toEnd;
    const char* expected;
  } cases[] = {
      {"0/1/2", 1, '/', false, "0"}, {"0/1/2", 2, '/', false, "1"},  {"0/1/2", 3, '/', false, "2"},
      {"0/1/2", 4, '/', false, ""},  {"0/1/2", 2, '/', true, "1/2"}, {"0/1/2", 1, '/', true, "0/1/2"},
      {"0/1/2", 4, '/', true, ""},   {"0/1/2", 0, '/', false, ""},   {"0/1/2", -1, '/', true, ""},
      {"/x", 1, '/', false, ""},     {"/x", 2, '/', false, "x"},     {"a//c", 2, '/', false, ""},
      {"a/b/", 3, '/', false, ""},   {"a/b/", 3, '/', true, ""},     {"", 1, '/', false, ""},
      {"id:text:more", 2, ':', false, "text"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExtractField(c.text, c.index, c.sep, c.toEnd), c.expected) << c.text << " " << c.index << c.toEnd;
}

TEST(TextHelpers, FormatFixedNumber) {
  struct Case {
    double value;
    int digits, decimals;
    const char* separator;
    bool isSigned;
    const char* expected;
  } cases[] = {
      {7, 2, 0, "", false, "07"},          {12, 4, 0, "", false, "0012"},      {123, 2, 0, "", false, "23"},
      {0, 3, 0, "", false, "000"},         {12.345, 7, 2, ",", false, "0012,35"}, {12.345, 6, 2, "", false, "001235"},
      {1.5, 5, 1, ".", false, "001.5"},    {5, 3, 0, "", true, "+05"},        {-5, 3, 0, "", true, "-05"},
      {-5, 4, 0, "", false, "-005"},       {0, 3, 0, "", true, "+00"},        {2.5, 2, 0, "", false, "03"},
      {-0.4, 3, 0, "", false, "000"},      {42, 0, 0, "", false, "42"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFixedNumber(c.value, c.digits, c.decimals, c.separator, c.isSigned), c.expected)
        << c.value << " " << c.digits;
}

TEST(TextHelpers, GetCommandLineParam) {
  struct Case {
    std::vector<std::string> args;
    const char* name;
    bool whole;
    const char* expected;
  } cases[] = {
      {{"host.exe", "/batch"}, "/BATCH", true, "/batch"},
      {{"host.exe", "/BATCHX"}, "/BATCH", true, ""},
      {{"host.exe", "/batch:1"}, "/BATCH", true, "/batch:1"},
      {{"host.exe", "/batch:1"}, "/BATCH", false, "1"},
      {{"host.exe", "/Port=COM3"}, "/port", false, "COM3"},
      {{"host.exe", "/x", "/port:1", "/port:2"}, "/port", false, "1"},
      {{"/BATCH"}, "/BATCH", true, ""},  // the program itself is no argument
      {{"host.exe"}, "/BATCH", true, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetCommandLineParam(c.name, c.whole, c.args), c.expected) << c.args.back();
}

TEST(TextHelpers, TimeToMilliseconds) {
  EXPECT_EQ(TimeToMilliseconds(At(0, 0, 0, 0)), 0);
  EXPECT_EQ(TimeToMilliseconds(At(8, 5, 9, 7)), 29109007);
  EXPECT_EQ(TimeToMilliseconds(At(23, 59, 59, 999)), 86399999);
}

TEST(VersionInfo, ThisBuild) {
  ScopedEnv lc("LC_ALL", "C");
  const tVN_ApplicationInfo& info = LibraryInfo();
  EXPECT_EQ(info.Version, "1.14");
  EXPECT_EQ(info.ReleaseDate, *EncodeDate(2025, 8, 29));
  EXPECT_EQ(info.Description, "BRV Driver - TARVO LX40 TCP - HTTP");
  ASSERT_EQ(info.History.size(), 15u);
  EXPECT_EQ(info.History.front().Version, "1.00");
  EXPECT_EQ(info.History.back().Version, "1.14");
  EXPECT_EQ(info.History.back().ReleaseDate, info.ReleaseDate);
  // The date in the user's short date format: "29/08/2025" in the C locale, the user's
  // own settings on Windows ("8/29/2025" for English (United States)).
  EXPECT_EQ(info.GetVersionString(), "[1.14 - " + FormatShortDate(info.ReleaseDate) + "]");
#if !defined(_WIN32)
  EXPECT_EQ(info.GetVersionString(), "[1.14 - 29/08/2025]");
#endif
}

TEST(VersionInfo, LoadReadsKeysInOrder) {
  tVN_ApplicationInfo info;
  info.Load(Table({
      {10000, "$author=Nobody"},  // before any version: belongs to no record
      {10001, "$TEXT=orphan"},
      {10002, "$AppDescription=Desc=with equals"},
      {10003, "$COPYRIGHT=(c) X"},
      {10004, "$VERSION=1.0"},
      {10005, "$RELEASEDATE=01/02/2020"},
      {10006, "$AUTHOR=Ann"},
      {10007, "$TEXT=first"},
      {10008, "no key here"},
      // a gap of ten identifiers does not end the table...
      {10019, "$VERSION=2.0"},
      {10020, "$PTEXT=second"},
      // a part that is no number counts as 1; the positions count characters, not bytes
      {10021, "$RELEASEDATE=\xC3\x89\xC3\x89/03/2021"},
      // ...a gap of eleven does
      {10033, "$VERSION=9.9"},
  }));
  EXPECT_EQ(info.Description, "Desc=with equals");
  EXPECT_EQ(info.Copyright, "(c) X");
  EXPECT_EQ(info.Version, "2.0");
  EXPECT_EQ(info.ReleaseDate, *EncodeDate(2021, 3, 1));
  ASSERT_EQ(info.History.size(), 2u);
  EXPECT_EQ(info.History[0].Author, "Ann");
  EXPECT_EQ(info.History[0].ReleaseDate, *EncodeDate(2020, 2, 1));
  EXPECT_EQ(info.History[0].Text, std::vector<std::string>{"first"});
  EXPECT_EQ(info.History[1].Author, "");
  EXPECT_EQ(info.History[1].Text, std::vector<std::string>{"second"});
}

TEST(VersionInfo, MissingOrBrokenEntries) {
  tVN_ApplicationInfo empty;
  empty.Load(Table({}));
  EXPECT_EQ(empty.Version, "");
  EXPECT_EQ(empty.ReleaseDate, 0);
  EXPECT_TRUE(empty.History.empty());

  tVN_ApplicationInfo broken;
  try {
    broken.Load(Table({{10000, "$VERSION=1.0"}, {10001, "$RELEASEDATE=31/02/2020"}}));
    FAIL() << "no error";
  } catch (const kException& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
  EXPECT_EQ(broken.Version, "1.0");

  // A table with a string under every identifier still ends.
  tVN_ApplicationInfo endless;
  endless.Load([](int) { return std::optional<std::string>("$TEXT=x"); });
  EXPECT_EQ(endless.Version, "");
}

class ApplicationTest : public ::testing::Test {
 protected:
  tVN_ApplicationEnvironment Env(std::vector<std::string> aArgs = {"host"}) {
    tVN_ApplicationEnvironment env;
    env.Args = std::move(aArgs);
    env.AppDir = dir.Path();
    env.AppName = "fp_services_test_host";
    auto n = now;
    env.Now = [n] { return n->load(); };
    env.Log.now = [n] { return n->load(); };
    env.Log.sleep = [](int) {};
    return env;
  }

  ScratchDir dir;
  std::shared_ptr<std::atomic<double>> now = std::make_shared<std::atomic<double>>(At(10, 0, 0, 0));
  ScopedEnv lc{"LC_ALL", "C"};
};

TEST_F(ApplicationTest, SwitchesComeFromTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool batch, debug, test;
  } cases[] = {
      {{"host.exe", "/batch"}, true, false, false},
      {{"host.exe", "/BATCHX"}, false, false, false},
      {{"host.exe", "/batch:1", "/Debug", "/test=yes"}, true, true, true},
      {{"host.exe"}, false, false, false},
  };
  for (const auto& c : cases) {
    tVN_Application app(Env(c.args));
    EXPECT_EQ(app.IsBatch(), c.batch) << c.args.back();
    EXPECT_EQ(app.IsDebug(), c.debug) << c.args.back();
    EXPECT_EQ(app.IsTest(), c.test) << c.args.back();
  }
  tVN_Application app(Env());
  app.ForceIsBatch();
  EXPECT_TRUE(app.IsBatch());
  EXPECT_TRUE(app.TerminateOnExceptionIfBatch());
  EXPECT_EQ(app.Info().Version, "1.14");
}

TEST_F(ApplicationTest, LogsBesideTheHostAndMoves) {
  // Paths are compared as paths: the library joins with "/", which Windows takes as it
  // takes "\\".
  std::string path;
  {
    tVN_Application app(Env({"host", "/BATCH"}));
    path = dir / "LogFiles/fp_services_test_host.log";
    EXPECT_EQ(fs::path(app.GetLogFileName()), fs::path(path));
    EXPECT_EQ(fs::path(app.GetLogDirectory()), fs::path(dir / "LogFiles"));
    app.Log(let_info, "hello");
    app.Log(let_error, "bad");
    app.ShowAppMessage(let_error, "shown");  // batch mode: logged
    EXPECT_EQ(app.LastError(), "shown");
    // Queued lines follow the log when it moves; settle them first.
    app.Logger().Flush();

    app.ChangeLogDirectory("sub");
    EXPECT_EQ(fs::path(app.GetLogFileName()), fs::path(dir / "LogFiles/sub/fp_services_test_host.log"));
    // An absolute folder in the system's own form (on Windows "C:\\...") is taken as it is.
    app.ChangeLogDirectory(dir / "abs");
    app.ChangeLogFilename("other.log");
    EXPECT_EQ(fs::path(app.GetLogFileName()), fs::path(dir / "abs/other.log"));
    app.Log(let_info, "moved");
  }
  EXPECT_EQ(CrLfLines(ReadFile(path)),
            (std::vector<std::string>{"2025-03-04 10:00:00:000 - hello", "2025-03-04 10:00:00:000 - ERROR - bad",
                                      "2025-03-04 10:00:00:000 - ERROR - shown"}));
  EXPECT_EQ(ReadFile(dir / "abs/other.log"), "2025-03-04 10:00:00:000 - moved\r\n");
}

TEST_F(ApplicationTest, MessageCatalogue) {
  tVN_Application app(Env());
  app.LoadMessages("greet.it:ciao\r\nit.greet:buongiorno\nit.greet:second wins not\nfmt:%s has %d%%\nlong:a:b\n"
                   "nl:one\\r\\ntwo\n");
  EXPECT_EQ(app.GetMessage("unknown"), "unknown");
  EXPECT_EQ(app.GetMessage("greet"), "greet");
  app.SetDefaultLanguage("it");
  EXPECT_EQ(app.GetMessage("greet"), "ciao");
  app.SetLanguage("IT");
  EXPECT_EQ(app.GetMessage("greet"), "buongiorno");
  EXPECT_EQ(app.GetMessage("long"), "long");  // language first: "IT.long" and "long.it" are missing
  app.SetLanguage("");
  app.SetDefaultLanguage("");
  EXPECT_EQ(app.GetMessage("nl"), "nl");
  app.LoadMessages("nl.:one\\r\\ntwo\nlong.:a:b\nfmt.:%s has %d%%\n");
  EXPECT_EQ(app.GetMessage("nl"), "one\r\ntwo");
  EXPECT_EQ(app.GetMessage("long"), "a");  // a message text stops at its first colon
  EXPECT_EQ(app.GetMessage("nl", {}), "one\\r\\ntwo");
  EXPECT_EQ(app.GetMessage("fmt", {"box", "3"}), "box has 3%");
  EXPECT_THROW(app.GetMessage("fmt", {"box"}), kException);
}

TEST_F(ApplicationTest, TimersAndSettings) {
  tVN_Application app(Env());
  EXPECT_EQ(app.StopTimer(), 0);
  app.StartTimer();
  *now = At(10, 0, 1, 500);
  app.StartTimer();
  *now = At(10, 0, 2, 0);
  EXPECT_EQ(app.GetTimerCount(), 2);
  EXPECT_EQ(app.GetTimerValue(), 500);
  EXPECT_EQ(app.StopTimer(), 500);
  EXPECT_EQ(app.StopTimer(), 2000);
  EXPECT_EQ(app.GetTimerCount(), 0);
  *now = *EncodeDateTime(2025, 3, 4, 23, 59, 59, 0);
  app.StartTimer();
  *now = *EncodeDateTime(2025, 3, 5, 0, 0, 1, 0);
  EXPECT_EQ(app.StopTimer(), 2000 - 86400000);  // times of day only

  tVN_Setup& s = app.Setup();
  s.Define("Port");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(s.GetValue("port")));
  s.SetValue("PORT", int64_t{9100});
  s.SetValue("Host", std::string("printer"));
  EXPECT_EQ(std::get<int64_t>(s.GetValue("port")), 9100);
  EXPECT_EQ(std::get<std::string>(s.GetValue("host")), "printer");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(s.GetValue("none")));
  ASSERT_EQ(s.Entries().size(), 2u);
  EXPECT_EQ(s.Entries()[0].Name, "Port");
}

TEST_F(ApplicationTest, WaitWindowTextAndIcon) {
  tVN_Application app(Env());
  tVN_Wait& w = app.Wait();
  w.Start("");
  EXPECT_TRUE(w.Started());
  EXPECT_EQ(w.Text(), "Attendere prego ...");
  app.SetLanguage("EN");
  w.SetText("printing");
  EXPECT_EQ(w.Text(), "Wait please ...\r\nprinting");
  app.ShowAppMessage(let_info, "shown while waiting");
  EXPECT_TRUE(w.Started());
  w.Stop();
  EXPECT_FALSE(w.Started());

  app.CreateNotifyIcon(nullptr);
  EXPECT_TRUE(app.NotifyIconShown());
  EXPECT_EQ(app.IconData().CallbackMessage, 1124u);
  EXPECT_EQ(app.IconData().IconId, 1u);
  app.DeleteNotifyIcon();
  EXPECT_FALSE(app.NotifyIconShown());
}

TEST_F(ApplicationTest, SingleInstanceAndTermination) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
  ResetHostTerminateRequest();
  tVN_Application first(Env({"host", "/BATCH"}));
  tVN_Application second(Env({"host", "/BATCH"}));
  first.SetSingleInstance(true);
  EXPECT_FALSE(HostTerminateRequested());
  second.SetSingleInstance(true);
  EXPECT_TRUE(HostTerminateRequested());
  EXPECT_EQ(second.LastError(), "Impossible to enter single instance mode.");

  ResetHostTerminateRequest();
  first.SetSingleInstance(false);
  tVN_Application third(Env());
  third.SetSingleInstance(true);
  EXPECT_FALSE(HostTerminateRequested());

  second.HandleException("boom");  // batch: shown in the log, then the host is asked to end
  EXPECT_EQ(second.LastError(), "boom");
  EXPECT_TRUE(HostTerminateRequested());
  ResetHostTerminateRequest();
  second.SetTerminateOnExceptionIfBatch(false);
  second.HandleException("again");
  EXPECT_FALSE(HostTerminateRequested());
}

TEST_F(ApplicationTest, OneInstancePerProcess) {
  EXPECT_EQ(Application(), nullptr);
  CreateApplication(Env());
  tVN_Application* app = Application();
  ASSERT_NE(app, nullptr);
  CreateApplication(Env({"host", "/BATCH"}));  // a second creation keeps the first
  EXPECT_EQ(Application(), app);
  EXPECT_FALSE(app->IsBatch());
  ShowAppMessage(let_info, "to standard error");
  DestroyApplication();
  EXPECT_EQ(Application(), nullptr);
  DestroyApplication();
}

TEST(Platform, GuidsAreFreshAndWellFormed) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string g = NewGuidString();
    ASSERT_EQ(g.size(), 38u) << g;
    EXPECT_EQ(g.front(), '{');
    EXPECT_EQ(g.back(), '}');
    for (size_t k : {9u, 14u, 19u, 24u}) EXPECT_EQ(g[k], '-') << g;
    EXPECT_EQ(g[15], '4') << g;
    EXPECT_NE(std::string("89AB").find(g[20]), std::string::npos) << g;
    for (char c : g) EXPECT_EQ(c, static_cast<char>(std::toupper(static_cast<unsigned char>(c)))) << g;
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(Platform, EnvironmentSettings) {
  // Windows answers the system's code page whatever the environment says.
#if !defined(_WIN32)
  struct Case {
    const char* value;
    int expected;
  } cases[] = {{nullptr, 1252}, {"1253", 1253}, {"", 1252}, {"abc", 1252}, {"-5", 1252}, {"1250x", 1252}};
  for (const auto& c : cases) {
    ScopedEnv acp("FPDRIVER_ACP", c.value);
    EXPECT_EQ(AnsiCodePage(), c.expected) << (c.value ? c.value : "(unset)");
  }
#endif
  {
    ScopedEnv app("FPDRIVER_APP_DIR", "/opt/host/");
    EXPECT_EQ(ApplicationDir(), "/opt/host");
    EXPECT_EQ(GetApplicationPath(), "/opt/host/");
  }
  {
    ScopedEnv app("FPDRIVER_APP_DIR", nullptr);
    EXPECT_EQ(GetApplicationPath(), fs::path(ApplicationExePath()).parent_path().string() + "/");
    EXPECT_EQ(GetApplicationName(), "test_app_services");
  }
  auto args = CommandLineArgs();
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("test_app_services"), std::string::npos);
}

TEST(Platform, AbsolutePathsKeepTheirFolder) {
  // Windows also takes "\\" as a separator and a drive letter or a leading "\\" as a root.
  const struct {
    const char* path;
    bool posix, windows;
  } cases[] = {
      {"/x/lib.dll", true, true},   {"lib.dll", false, false},        {"sub/lib.dll", false, false},
      {"C:\\x\\lib.dll", false, true}, {"C:/x/lib.dll", false, true}, {"\\\\server\\x\\lib.dll", false, true},
      {"sub\\lib.dll", false, false}, {"", false, false},
  };
  ScopedEnv app("FPDRIVER_APP_DIR", "/opt/host");
  for (const auto& c : cases) {
#if defined(_WIN32)
    const bool absolute = c.windows;
#else
    const bool absolute = c.posix;
#endif
    EXPECT_EQ(IsAbsolutePath(c.path), absolute) << c.path;
    EXPECT_EQ(PathInApplicationDir(c.path), absolute ? std::string(c.path) : std::string("/opt/host/") + c.path) << c.path;
  }
#if defined(_WIN32)
  EXPECT_TRUE(IsPathSeparator('\\'));
#else
  EXPECT_FALSE(IsPathSeparator('\\'));
#endif
  EXPECT_TRUE(IsPathSeparator('/'));
}

TEST(Platform, LocaleFormatsFallBackToCommonOnes) {
  // Windows takes the formats from the user's settings, not from the environment.
#if !defined(_WIN32)
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
    ScopedEnv lc("LC_ALL", name);
    EXPECT_EQ(DecimalSeparator(), ".") << name;
    EXPECT_EQ(TimeSeparator(), ":") << name;
    EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy") << name;
  }
#endif
  DateTime d = *EncodeDate(2025, 8, 9);
  struct Case {
    const char* format;
    const char* expected;
  } cases[] = {{"dd/mm/yyyy", "09/08/2025"}, {"m/d/yy", "8/9/25"}, {"yyyy-mm-dd", "2025-08-09"}, {"dd.mm.yyyy", "09.08.2025"}};
  for (const auto& c : cases) EXPECT_EQ(FormatDate(d, c.format), c.expected) << c.format;
}

TEST(Platform, NamedLockIsExclusive) {
  ScratchDir dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
  kNamedLock a("fp/services"), b("fp/services");
#if !defined(_WIN32)
  EXPECT_EQ(a.Path(), dir / "fp_services.lock");  // Windows names a mutex instead
#endif
  EXPECT_TRUE(a.TryAcquire());
  EXPECT_FALSE(b.TryAcquire());
  a.Release();
  EXPECT_TRUE(b.TryAcquire());
  EXPECT_TRUE(b.Held());
}
