// fpemu: runs the printer emulator until SIGINT or SIGTERM.
//
//   fpemu --port N [--bind ADDR] [--auth basic|digest --user U --password P]
//         [--paper FILE] [--state FILE] [--delay MS] [--fault KIND[:ARG...]]...
//   fpemu --help
// SIGUSR1 releases a command held by the hold fault.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "fpemu/faults.h"
#include "fpemu/printer_emulator.h"

namespace {

void Usage(std::ostream& aOut = std::cerr) {
  aOut << "usage: fpemu --port N [--bind ADDR] [--auth basic|digest --user U --password P]\n"
          "             [--paper FILE] [--state FILE] [--delay MS] [--fault KIND[:ARG...]]...\n";
}

void Help() {
  Usage(std::cout);
  std::cout << "\nAn emulated RT fiscal printer on http://ADDR:PORT/ (port 0 picks a free one), until\n"
               "SIGINT or SIGTERM. The roll goes to standard output or to --paper FILE; --state FILE\n"
               "keeps the printer across restarts; --delay delays every answer. SIGUSR1 releases a\n"
               "command held by the hold fault.\n"
               "\n--fault starts the printer with a fault (several --fault options add up):\n";
  fp::emu::ListFaults(std::cout);
}

bool ParseNumber(const char* aText, long aMax, long& aOut) {
  char* end = nullptr;
  long v = std::strtol(aText, &end, 10);
  if (!*aText || *end || v < 0 || v > aMax) return false;
  aOut = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  fp::emu::EmulatorOptions options;
  std::string paperFile, stateFile;
  std::vector<std::string> faults;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Help();
      return 0;
    }
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    const char* value = argv[++i];
    long n = 0;
    if (arg == "--port" && ParseNumber(value, 65535, n)) options.fPort = static_cast<uint16_t>(n);
    else if (arg == "--bind") options.fBindAddress = value;
    else if (arg == "--auth" && std::strcmp(value, "basic") == 0) options.fAuth = fp::emu::AuthMode::Basic;
    else if (arg == "--auth" && std::strcmp(value, "digest") == 0) options.fAuth = fp::emu::AuthMode::Digest;
    else if (arg == "--user") options.fUser = value;
    else if (arg == "--password") options.fPassword = value;
    else if (arg == "--paper") paperFile = value;
    else if (arg == "--state") stateFile = value;
    else if (arg == "--delay" && ParseNumber(value, 600000, n)) options.fDelay = std::chrono::milliseconds(n);
    else if (arg == "--fault") faults.push_back(value);
    else {
      Usage();
      return 2;
    }
  }

  // Signals are taken synchronously by the main thread; every other thread blocks them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);  // releases a command held by the hold fault
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  options.fAutoSaveFile = stateFile;
  fp::emu::PrinterEmulator emulator(options);
  if (!stateFile.empty() && !emulator.LoadState(stateFile))
    std::cerr << "fpemu: no state loaded from " << stateFile << ", starting fresh\n";

  for (const std::string& fault : faults) {
    std::string error;
    if (!fp::emu::ApplyFault(emulator, fault, error)) {
      std::cerr << "fpemu: " << error << "\n";
      return 2;
    }
  }

  std::ofstream paper;
  if (!paperFile.empty()) {
    paper.open(paperFile, std::ios::app);
    if (!paper) {
      std::cerr << "fpemu: cannot open " << paperFile << "\n";
      return 1;
    }
  }
  std::ostream& paperOut = paperFile.empty() ? std::cout : paper;
  emulator.SetPaperListener([&paperOut](const std::string& aLine) { paperOut << aLine << '\n' << std::flush; });

  uint16_t port = 0;
  try {
    port = emulator.Start();
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  std::cout << "listening on http://" << options.fBindAddress << ":" << port << "/" << std::endl;

  emulator.SetHoldListener([](const fp::emu::ReceivedPacket& aPacket) { std::cerr << "held " << aPacket.fLetter << std::endl; });
  int sig = 0;
  while (sigwait(&signals, &sig) == 0 && sig == SIGUSR1) emulator.ReleaseHold();
  emulator.Stop();
  if (!stateFile.empty() && !emulator.SaveState(stateFile)) {
    std::cerr << "fpemu: cannot save state to " << stateFile << "\n";
    return 1;
  }
  return 0;
}
