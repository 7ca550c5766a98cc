// The fpemu program: announces its address, answers, keeps its day in the state file across
// a restart, and ends cleanly on SIGTERM.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Program {
  pid_t fPid = -1;
  FILE* fOut = nullptr;
  std::string fUrl;

  explicit Program(const std::vector<std::string>& aArgs) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv{const_cast<char*>(FPEMU_PROGRAM)};
    for (const auto& a : aArgs) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&fPid, FPEMU_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) fPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    fOut = fdopen(pipeFds[0], "r");
    char line[256] = {};
    // The first line is the address; reading it waits for the program to listen.
    if (fOut && std::fgets(line, sizeof line, fOut)) {
      std::string s = line;
      const std::string prefix = "listening on ";
      if (s.rfind(prefix, 0) == 0) fUrl = s.substr(prefix.size(), s.find_last_not_of("\r\n") + 1 - prefix.size());
    }
  }
  // Sends SIGTERM and returns the exit status.
  int Stop() {
    if (fPid < 0) return -1;
    kill(fPid, SIGTERM);
    int status = 0;
    waitpid(fPid, &status, 0);
    fPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~Program() {
    Stop();
    if (fOut) fclose(fOut);
  }
};

size_t Collect(char* aData, size_t aSize, size_t aCount, void* aOut) {
  static_cast<std::string*>(aOut)->append(aData, aSize * aCount);
  return aSize * aCount;
}

std::string Get(const std::string& aUrl) {
  std::string body;
  CURL* c = curl_easy_init();
  curl_easy_setopt(c, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 10000L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(c);
  curl_easy_cleanup(c);
  return body;
}

TEST(FpemuProgram, KeepsItsDayAcrossARestart) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(::testing::TempDir()) / ("fpemu_program_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string state = (dir / "state.xml").string(), paper = (dir / "paper.txt").string();
  {
    Program p({"--port", "0", "--state", state, "--paper", paper});
    ASSERT_FALSE(p.fUrl.empty());
    for (const char* pkt : {"%3E%2F%2F%2F%2F", "%7D%2F", "3%2FS%2FPANE%2F%2F1.000%2F1.50%2F1%2F%2F%2F0%2F%2F", "m%2F"})
      EXPECT_EQ(Get(p.fUrl + "_io?cmd=4&js=0&pkt=" + pkt).substr(0, 2), "00") << pkt;
    EXPECT_EQ(p.Stop(), 0);
  }
  {
    Program p({"--port", "0", "--state", state, "--paper", paper});
    ASSERT_FALSE(p.fUrl.empty());
    EXPECT_EQ(Get(p.fUrl + "_io?cmd=4&js=0&pkt=X"), "00/00/02/0/1/0/");
    EXPECT_EQ(p.Stop(), 0);
  }
  std::FILE* f = std::fopen(paper.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string text;
  char buf[512];
  while (std::fgets(buf, sizeof buf, f)) text += buf;
  std::fclose(f);
  EXPECT_NE(text.find("PANE"), std::string::npos);
  fs::remove_all(dir);
}

TEST(FpemuProgram, RefusesUnknownOptions) {
  Program p({"--colour", "blue"});
  EXPECT_TRUE(p.fUrl.empty());
  int status = 0;
  waitpid(p.fPid, &status, 0);
  p.fPid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

}  // namespace
