// fpd as a program: started with a configuration file, stopped with SIGTERM while a receipt
// is on the printer, killed with SIGKILL and started again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "fpd_test_support.h"

namespace fpd::test {
namespace {

using fp::emu::PrinterEmulator;

// The fpd program with its own configuration file; its standard error is read line by line.
class kFpdProcess {
 public:
  explicit kFpdProcess(const std::string& aConfigJson) {
    fConfigFile = ::testing::TempDir() + "fpd-" + std::to_string(getpid()) + ".json";
    std::ofstream(fConfigFile) << aConfigJson;
    Start();
  }
  ~kFpdProcess() {
    if (fPid > 0) {
      kill(fPid, SIGKILL);
      Wait();
    }
  }
  void Start() {
    int out[2], err[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    fPid = fork();
    if (fPid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      setenv("FPDRIVER_APP_DIR", ApplicationFolder().c_str(), 1);
      execl(FPD_PATH, FPD_PATH, "--config", fConfigFile.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    fOut = fdopen(out[0], "r");
    fErr = err[0];
    char line[512] = {0};
    if (fgets(line, sizeof line, fOut) != nullptr) fListening = line;
    const size_t colon = fListening.rfind(':');
    fPort = colon == std::string::npos ? 0 : std::atoi(fListening.c_str() + colon + 1);
  }
  // Standard error until aText appears (or the program ends); whether it did.
  bool WaitForLog(const std::string& aText) {
    char buffer[512];
    while (fLog.find(aText) == std::string::npos) {
      const ssize_t n = read(fErr, buffer, sizeof buffer);
      if (n <= 0) return false;
      fLog.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }
  int Wait() {
    int status = 0;
    waitpid(fPid, &status, 0);
    fPid = -1;
    if (fOut) fclose(fOut);
    close(fErr);
    fOut = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Signal(int aSignal) { kill(fPid, aSignal); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(fPort); }
  const std::string& Listening() const { return fListening; }
  const std::string& Log() const { return fLog; }

 private:
  std::string fConfigFile;
  pid_t fPid = -1;
  FILE* fOut = nullptr;
  int fErr = -1;
  int fPort = 0;
  std::string fListening, fLog;
};

// Polls the printer list until aCondition holds for "front": each poll is one HTTP exchange.
bool WaitForPrinter(const std::string& aUrl, const std::function<bool(const nlohmann::json&)>& aCondition) {
  for (int i = 0; i < 20000; ++i) {
    const kHttpAnswer a = Http("GET", aUrl + "/v1/printers", {Bearer()});
    if (a.fStatus == 200 && aCondition(nlohmann::json::parse(a.fBody)["printers"][0])) return true;
  }
  return false;
}

TEST(FpdProcess, SigtermFinishesTheReceiptOnThePrinterRefusesTheWaitingOnesAndExits) {
  PrinterEmulator printer;
  printer.Start();
  kFpdProcess fpd(ConfigJson(printer.BaseUrl()));
  ASSERT_NE(fpd.Listening().find("fpd: listening on http://127.0.0.1:"), std::string::npos) << fpd.Listening();
  ASSERT_TRUE(WaitForPrinter(fpd.Url(), [](const nlohmann::json& p) { return p["state"] == "ready"; }));

  kPaperGate gate(printer);
  kHttpAnswer running, waiting;
  std::thread first([&] { running = Http("POST", fpd.Url() + "/v1/printers/front/PRINTFR", {Bearer()}, Receipt("1.00")); });
  ASSERT_TRUE(gate.WaitHeld());
  std::thread second([&] { waiting = Http("POST", fpd.Url() + "/v1/printers/front/PRINTFR", {Bearer()}, Receipt("2.00")); });
  ASSERT_TRUE(WaitForPrinter(fpd.Url(), [](const nlohmann::json& p) { return p["queued"] == 1; }));

  fpd.Signal(SIGTERM);
  ASSERT_TRUE(fpd.WaitForLog("fpd: stopping (SIGTERM)")) << fpd.Log();
  gate.Release();
  first.join();
  second.join();
  EXPECT_EQ(running.fStatus, 200);
  EXPECT_EQ(Element(running.fBody, "Error"), "False") << running.fBody;
  EXPECT_EQ(waiting.fStatus, 503);
  EXPECT_EQ(nlohmann::json::parse(waiting.fBody)["error"], "fpd is stopping");
  EXPECT_EQ(fpd.Wait(), 0);
  EXPECT_EQ(JournalSales(printer), (std::map<int, std::string>{{1, "1"}}));
}

TEST(FpdProcess, ARefusedConfigurationStopsTheStartWithItsReason) {
  const std::string file = ApplicationFolder() + "/bad.json";
  std::ofstream(file) << R"({"tills": [], "printers": []})";
  const std::string command = std::string(FPD_PATH) + " --config " + file + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  char line[512] = {0};
  ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
  EXPECT_EQ(std::string(line), "fpd: " + file + ": tills: needs at least one till with a token\n");
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1);
}

// Needs the library's document journal: the receipt fpd was printing when it died is
// settled from the journal by the next fpd, and the till's retry prints nothing twice.
TEST(FpdProcess, SigkillMidReceiptAndRestartEachReceiptOnce) {
  PrinterEmulator printer;
  printer.Start();
  auto fpd = std::make_unique<kFpdProcess>(ConfigJson(printer.BaseUrl()));
  ASSERT_TRUE(WaitForPrinter(fpd->Url(), [](const nlohmann::json& p) { return p["state"] == "ready"; }));
  auto gate = std::make_unique<kPaperGate>(printer);
  kHttpAnswer lost;
  std::thread till([&] {
    lost = Http("POST", fpd->Url() + "/v1/printers/front/PRINTFR", {Bearer(), "Idempotency-Key: till1-k1"}, Receipt("7.00"));
  });
  ASSERT_TRUE(gate->WaitHeld());
  fpd->Signal(SIGKILL);
  fpd->Wait();
  till.join();
  EXPECT_NE(lost.fStatus, 200);
  gate->Release();

  fpd = std::make_unique<kFpdProcess>(ConfigJson(printer.BaseUrl()));
  ASSERT_TRUE(WaitForPrinter(fpd->Url(), [](const nlohmann::json& p) { return p["state"] == "ready"; }));
  const kHttpAnswer retry =
      Http("POST", fpd->Url() + "/v1/printers/front/PRINTFR", {Bearer(), "Idempotency-Key: till1-k1"}, Receipt("7.00"));
  EXPECT_EQ(retry.fStatus, 200);
  EXPECT_EQ(Element(retry.fBody, "Error"), "False") << retry.fBody;
  EXPECT_EQ(JournalSales(printer).size(), 1u);
  const kHttpAnswer again =
      Http("POST", fpd->Url() + "/v1/printers/front/PRINTFR", {Bearer(), "Idempotency-Key: till1-k1"}, Receipt("7.00"));
  EXPECT_EQ(Element(again.fBody, "ReceiptNumber"), Element(retry.fBody, "ReceiptNumber"));
  EXPECT_EQ(JournalSales(printer).size(), 1u);
}

}  // namespace
}  // namespace fpd::test
