// fpd: the local print service. Drives the configured printers through libfpdriver's
// exports and serves them to tills over HTTP.
//
//   fpd --config FILE [--check]
//
// --check reads the configuration and the library and exits. Otherwise fpd opens every
// printer, prints "fpd: listening on URL" and serves until SIGTERM or SIGINT (on Windows the
// console's Ctrl+C, Ctrl+Break or close), when it takes no new calls, lets each printer
// finish the document in progress, refuses the calls still waiting (503) and closes the
// printers.
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "driver_library.h"
#include "http_service.h"
#include "platform.h"
#include "printer_session.h"

namespace {

int Usage() {
  std::cerr << "usage: fpd --config FILE [--check]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string configFile;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--config" && i + 1 < argc) configFile = argv[++i];
    else if (arg == "--check") check = true;
    else return Usage();
  }
  if (configFile.empty()) return Usage();

  try {
    // The requests to stop are this thread's alone, taken before any other thread starts.
    fpd::CatchStopRequests();
    const fpd::kServiceConfig config = fpd::LoadConfig(configFile);
    // The library takes its application folder (logs, document journals) from the
    // environment when it is loaded, so it is set first.
    if (!config.fApplicationFolder.empty()) {
      fpd::MakeFolder(config.fApplicationFolder);
      setenv("FPDRIVER_APP_DIR", config.fApplicationFolder.c_str(), 1);
    }
    const char* appDir = std::getenv("FPDRIVER_APP_DIR");
    const std::string journalFolder = appDir != nullptr && *appDir ? std::string(appDir) : fpd::ProgramFolder();
    fpd::kDriverLibrary library(config.fLibrary.empty() ? fpd::kDriverLibrary::DefaultPath() : config.fLibrary);
    if (check) {
      std::cout << "fpd: configuration and library are usable (" << config.fPrinters.size() << " printers)\n";
      return 0;
    }

    const fpd::kSessionTiming timing{config.fReopenFirstMs, config.fReopenMaxMs, config.fStatusIntervalMs,
                                     config.fQueueWaitMs};
    std::vector<std::unique_ptr<fpd::kPrinterSession>> sessions;
    std::map<std::string, fpd::kPrinterSession*> byName;
    for (const fpd::kPrinterConfig& printer : config.fPrinters) {
      sessions.push_back(std::make_unique<fpd::kPrinterSession>(printer, library, timing));
      byName[printer.fName] = sessions.back().get();
    }
    fpd::kHttpService service(config, byName, journalFolder);
    const uint16_t port = service.Start();
    for (auto& session : sessions) session->Start();
    std::cout << "fpd: listening on " << (config.fTls ? "https" : "http") << "://" << config.fListenAddress << ":"
              << port << "/" << std::endl;

    const std::string request = fpd::WaitForStopRequest();
    service.StopListening();
    for (auto& session : sessions) session->RequestStop();
    std::clog << "fpd: stopping (" << request << "): the documents in progress are finished" << std::endl;
    for (auto& session : sessions) session->Stop();
    service.Stop();
    std::clog << "fpd: stopped" << std::endl;
    fpd::StopFinished();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "fpd: " << e.what() << std::endl;
    return 1;
  }
}
