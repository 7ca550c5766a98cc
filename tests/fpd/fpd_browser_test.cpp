// fpd from a browser, in headless Chromium: a till page of a listed origin prints through
// fetch(), a page of another origin is refused by CORS, the status page loads; and every
// curl and fetch() example of docs/service.md runs against a live fpd.
#include <gtest/gtest.h>
#include <microhttpd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "fpd_test_support.h"

namespace fpd::test {
namespace {

using fp::emu::PrinterEmulator;

// Serves fixed pages, as a web till's own server would.
class kPageServer {
 public:
  void Put(const std::string& aPath, const std::string& aHtml) { fPages[aPath] = aHtml; }
  uint16_t Start() {
    fDaemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr, &Serve, this,
                               MHD_OPTION_SOCK_ADDR, nullptr, MHD_OPTION_END);
    return fDaemon ? MHD_get_daemon_info(fDaemon, MHD_DAEMON_INFO_BIND_PORT)->port : 0;
  }
  ~kPageServer() {
    if (fDaemon) MHD_stop_daemon(fDaemon);
  }

 private:
  static MHD_Result Serve(void* aSelf, MHD_Connection* aConnection, const char* aUrl, const char*, const char*,
                          const char*, size_t*, void**) {
    auto* self = static_cast<kPageServer*>(aSelf);
    const auto page = self->fPages.find(aUrl);
    const std::string body = page == self->fPages.end() ? "not found" : page->second;
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(r, "Content-Type", "text/html; charset=utf-8");
    const MHD_Result rc = MHD_queue_response(aConnection, page == self->fPages.end() ? 404 : 200, r);
    MHD_destroy_response(r);
    return rc;
  }
  std::map<std::string, std::string> fPages;
  MHD_Daemon* fDaemon = nullptr;
};

std::string Chromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

// The page's DOM once its scripts have run (fetches included).
std::string DumpDom(const std::string& aUrl) {
  char profile[] = "/tmp/fpd-chromium-XXXXXX";
  if (mkdtemp(profile) == nullptr) return "";
  const std::string command = "timeout 120 " + Chromium() +
                              " --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run"
                              " --disable-background-networking --disable-component-update --disable-sync"
                              " --disable-dev-shm-usage --user-data-dir=" + std::string(profile) +
                              " --virtual-time-budget=20000 --dump-dom '" + aUrl + "' 2>/dev/null";
  std::string dom;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) dom.append(buffer, n);
    pclose(pipe);
  }
  std::filesystem::remove_all(profile);
  return dom;
}

// A till page that runs aScript (which leaves its answer in `result`) and writes the
// outcome into #out: "OK <result as JSON>" or "FAILED <error>".
std::string TillPage(const std::string& aFpdUrl, const std::string& aScript) {
  return "<!DOCTYPE html><html><body><pre id=\"out\">pending</pre><script>\n"
         "const FPD_URL = \"" + aFpdUrl + "\";\nconst FPD_TOKEN = \"" + kToken + "\";\n"
         "(async () => {\n" + aScript + "\nreturn result;\n})().then("
         "r => { document.getElementById('out').textContent = 'OK ' + JSON.stringify(r); },"
         "e => { document.getElementById('out').textContent = 'FAILED ' + e; });\n"
         "</script></body></html>";
}

std::string Out(const std::string& aDom) {
  std::smatch m;
  static const std::regex kOut(R"re(<pre id="out">([^<]*)</pre>)re");
  if (!std::regex_search(aDom, m, kOut)) return "no output in: " + aDom.substr(0, 300);
  return std::regex_replace(std::regex_replace(m[1].str(), std::regex("&quot;"), "\""), std::regex("&amp;"), "&");
}

const char* kTillScript = R"js(
const response = await fetch(FPD_URL + "/v1/printers/front/PRINTFR", {
  method: "POST",
  headers: { "Authorization": "Bearer " + FPD_TOKEN, "Accept": "application/json",
             "Idempotency-Key": "web-till-0001" },
  body: "<Receipt><Type>Sale</Type><Lines><ProductSale><Description>Caffe</Description><Quantity>1</Quantity>" +
        "<Price>1.20</Price><Amount>1.20</Amount><Department>1</Department></ProductSale></Lines>" +
        "<Taxes/><Payments/></Receipt>"
});
const result = await response.json();
)js";

class FpdBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it): browser test skipped";
    fPrinter.Start();
    fPagePort = fPages.Start();
    ASSERT_NE(fPagePort, 0);
  }
  // fpd with the page server's 127.0.0.1 origin listed.
  std::unique_ptr<kService> StartService() {
    std::string config = ConfigJson(fPrinter.BaseUrl());
    config.replace(config.find(kAllowedOrigin), std::strlen(kAllowedOrigin), PageOrigin());
    auto service = std::make_unique<kService>(config);
    EXPECT_TRUE(service->WaitReady());
    return service;
  }
  std::string PageOrigin() const { return "http://127.0.0.1:" + std::to_string(fPagePort); }
  PrinterEmulator fPrinter;
  kPageServer fPages;
  uint16_t fPagePort = 0;
};

TEST_F(FpdBrowser, ATillPageOfAListedOriginPrintsThroughFetchAnotherOriginIsRefused) {
  auto service = StartService();
  fPages.Put("/till.html", TillPage(service->Url(), kTillScript));

  const std::string listed = Out(DumpDom(PageOrigin() + "/till.html"));
  EXPECT_EQ(listed.rfind("OK ", 0), 0u) << listed;
  EXPECT_NE(listed.find("\"ReceiptNumber\":\"1\""), std::string::npos) << listed;

  // The same page from http://localhost:PORT is another origin, not in the list.
  const std::string foreign = Out(DumpDom("http://localhost:" + std::to_string(fPagePort) + "/till.html"));
  EXPECT_EQ(foreign.rfind("FAILED TypeError", 0), 0u) << foreign;
  EXPECT_EQ(JournalSales(fPrinter), (std::map<int, std::string>{{1, "1.2"}}));
}

TEST_F(FpdBrowser, TheStatusPageLoadsWithItsScript) {
  auto service = StartService();
  const std::string dom = DumpDom(service->Url() + "/");
  EXPECT_NE(dom.find("<h1>fpd</h1>"), std::string::npos) << dom.substr(0, 500);
  EXPECT_NE(dom.find("id=\"token\""), std::string::npos);
  const kHttpAnswer script = Http("GET", service->Url() + "/status.js");
  EXPECT_EQ(script.fStatus, 200);
  EXPECT_NE(script.fBody.find("/v1/printers"), std::string::npos);
}

// A person at the shop: the token typed into the status page, the printers shown, "Test
// print" pressed; driven over the DevTools protocol by status_page_click.py.
TEST_F(FpdBrowser, TheStatusPagesTestPrintPrintsWithTheTypedToken) {
  if (std::system("/usr/bin/python3 -c 'import websocket' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-websocket is not installed (scripts/setup.sh installs it): click test skipped";
  auto service = StartService();
  const std::string command = "timeout 120 /usr/bin/python3 " + std::string(FP_SOURCE_DIR) +
                              "/tests/fpd/status_page_click.py " + Chromium() + " " + service->Url() + "/ " + kToken +
                              " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0) << output;
  EXPECT_EQ(output.rfind("Printed a test page on front", 0), 0u) << output;
  EXPECT_NE(output.find("ready"), std::string::npos) << output;
  // A non-fiscal page: the fiscal day has no sale from it.
  EXPECT_TRUE(JournalSales(fPrinter).empty());
  EXPECT_EQ(fPrinter.Snapshot().fLastNonFiscalNumber, 1);
}

// The examples of docs/service.md: fenced blocks whose info string is `sh fpd-example` (run
// by sh with FPD_URL and FPD_TOKEN set) or `js fpd-example` (run in a till page of a listed
// origin, leaving its answer in `result`), each optionally followed by expect="TEXT" that
// its output must contain (expect='TEXT' where TEXT has double quotes).
struct DocExample {
  std::string fLanguage;
  int fLine = 0;
  std::string fExpect;
  std::string fCode;
};

// Names the example by its place in the page in test output.
void PrintTo(const DocExample& aExample, std::ostream* aOut) { *aOut << "docs/service.md:" << aExample.fLine; }

// Fences that name fpd-example but are not read as one (a misspelt info string).
std::vector<std::string>& MalformedFences() {
  static std::vector<std::string> fences;
  return fences;
}

std::vector<DocExample> ReadDocExamples() {
  static const std::regex kFence(R"re(^```(sh|js) fpd-example(?: expect=(?:"([^"]*)"|'([^']*)'))?\s*$)re");
  std::vector<DocExample> examples;
  std::ifstream in(std::string(FP_SOURCE_DIR) + "/docs/service.md");
  std::string line;
  int number = 0;
  DocExample* open = nullptr;
  while (std::getline(in, line)) {
    ++number;
    std::smatch m;
    if (open == nullptr && std::regex_match(line, m, kFence)) {
      examples.push_back({m[1], number, m[2].matched ? m[2].str() : m[3].str(), ""});
      open = &examples.back();
    } else if (open == nullptr && line.rfind("```", 0) == 0 && line.find("fpd-example") != std::string::npos) {
      MalformedFences().push_back("docs/service.md:" + std::to_string(number) + ": " + line);
    } else if (open != nullptr && line.rfind("```", 0) == 0) {
      open = nullptr;
    } else if (open != nullptr) {
      open->fCode += line + "\n";
    }
  }
  return examples;
}

class FpdDocExample : public FpdBrowser, public ::testing::WithParamInterface<DocExample> {
 protected:
  void SetUp() override {
    if (GetParam().fLanguage == "js") {
      FpdBrowser::SetUp();
      return;
    }
    fPrinter.Start();
    fPagePort = fPages.Start();
  }
};

TEST_P(FpdDocExample, RunsAgainstALiveFpd) {
  const DocExample& example = GetParam();
  auto service = StartService();
  std::string output;
  if (example.fLanguage == "sh") {
    const std::string script = ApplicationFolder() + "/example.sh";  // a folder of this process alone
    std::ofstream(script) << "set -e\n" << example.fCode;
    const std::string command =
        "FPD_URL='" + service->Url() + "' FPD_TOKEN='" + kToken + "' sh " + script + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0) << output;
  } else {
    fPages.Put("/example.html", TillPage(service->Url(), example.fCode));
    output = Out(DumpDom(PageOrigin() + "/example.html"));
    EXPECT_EQ(output.rfind("OK ", 0), 0u) << output;
  }
  EXPECT_NE(output.find(example.fExpect), std::string::npos) << "expected " << example.fExpect << " in:\n" << output;
}

std::string ExampleName(const ::testing::TestParamInfo<DocExample>& aInfo) {
  return "service_md_line" + std::to_string(aInfo.param.fLine) + "_" + aInfo.param.fLanguage;
}

INSTANTIATE_TEST_SUITE_P(Docs, FpdDocExample, ::testing::ValuesIn(ReadDocExamples()), ExampleName);

TEST(FpdDocExamples, EveryExampleFenceIsReadAsOne) {
  ReadDocExamples();
  EXPECT_TRUE(MalformedFences().empty()) << "not read as examples: " << testing::PrintToString(MalformedFences());
}

}  // namespace
}  // namespace fpd::test
