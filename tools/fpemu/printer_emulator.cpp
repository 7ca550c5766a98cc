#include "fpemu/printer_emulator.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <optional>
#include <stdexcept>

#include "base/text.h"
#include "fpemu/printer_model.h"
#include "fpemu/state_file.h"

namespace fp::emu {

namespace {

// Longest request line the printer takes; longer ones are refused before parsing.
constexpr size_t kMaxUri = 4096;
constexpr unsigned kNonceTimeoutSeconds = 300;
// A long-running emulator keeps the most recent requests only.
constexpr long kPacketsKeep = 200000;
constexpr const char* kOpaque = "c1a3e6f2b94d7580";

// One request as the connection thread sees it.
struct RequestContext {
  std::string fUri;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Strict percent-decoding: a "%" must be followed by two hexadecimal digits. "+" stays "+".
std::optional<std::string> PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    if (n == 2 && c < 0xC2) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

size_t FirstCharBytes(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  return c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
}

struct ParsedRequest {
  int fStatus = 200;  // not 200: refuse with this status
  std::string fLetter;
  std::string fData;
  // The packet held a bare "&", which splits the query: the printer reads a broken field.
  bool fFieldError = false;
};

// GET <prefix>/_io?cmd=4&js=0&pkt=<letter><data>
ParsedRequest ParseRequest(const std::string& aUri) {
  ParsedRequest r;
  if (aUri.size() > kMaxUri) return {414, {}, {}, false};
  size_t q = aUri.find('?');
  std::string path = aUri.substr(0, q);
  if (path != "/_io" && !(path.size() > 4 && path.compare(path.size() - 4, 4, "/_io") == 0)) return {404, {}, {}, false};
  if (q == std::string::npos) return {400, {}, {}, false};
  std::map<std::string, std::string> args;
  std::string lastKey;
  for (const auto& part : Split(std::string_view(aUri).substr(q + 1), '&')) {
    size_t eq = part.find('=');
    if (eq == std::string::npos && lastKey == "pkt") {
      auto rest = PercentDecode(part);
      if (!rest) return {400, {}, {}, false};
      args["pkt"] += "&" + *rest;
      r.fFieldError = true;
      continue;
    }
    if (eq == std::string::npos) return {400, {}, {}, false};
    auto key = PercentDecode(part.substr(0, eq));
    auto value = PercentDecode(part.substr(eq + 1));
    if (!key || !value || args.count(*key)) return {400, {}, {}, false};
    args[*key] = *value;
    lastKey = *key;
  }
  if (args.size() != 3 || args["cmd"] != "4" || args["js"] != "0") return {400, {}, {}, false};
  const std::string& pkt = args["pkt"];
  if (pkt.empty() || !ValidUtf8(pkt)) return {400, {}, {}, false};
  size_t n = FirstCharBytes(pkt);
  r.fLetter = pkt.substr(0, n);
  r.fData = pkt.substr(n);
  return r;
}

}  // namespace

struct PrinterEmulator::Impl {
  explicit Impl(EmulatorOptions aOptions) : fOptions(std::move(aOptions)), fModel(fOptions) {
    fDelay = fOptions.fDelay;
  }

  EmulatorOptions fOptions;

  mutable std::mutex fMutex;  // guards everything below up to the daemon
  PrinterModel fModel;
  std::vector<ReceivedPacket> fPackets;
  std::chrono::milliseconds fDelay{0};
  int fFailCount = 0;
  int fFailStatus = 0;
  int fDropCount = 0;
  int fResetCount = 0;
  int fBusyCount = 0;
  // A fault aimed at one command letter: after fSkip such commands, fCount of them are hit.
  struct Forced {
    std::string fLetter;
    int fCode = 0;
    bool fVerbatim = false;  // false: fCode with the current status bytes
    std::string fFrame;
    int fCount = 0;
    int fSkip = 0;
    bool fDrop = false;  // executed, then the answer is dropped
    int fHttpStatus = 0;  // not 0: executed, then answered with this HTTP status
    std::chrono::milliseconds fLate{0};  // not 0: executed, then answered this much later
    bool fLost = false;  // not executed, the connection closes without an answer
    bool fReplay = false;  // executed twice, the second answer goes back
    int fRefuseAfter = -1;  // not -1: executed, then answered with this reply code
    bool fReboot = false;  // the printer restarts instead (fNeedsZ: the day then needs its Z)
    bool fNeedsZ = false;
    // Once this fault acted: the next fThenCount commands fThenLetter get reply code fThenCode.
    std::string fThenLetter = {};
    int fThenCode = 0;
    int fThenCount = 0;
  };
  std::vector<Forced> fForced;
  // The hold point: armed for one command letter, then holding the command that reached it
  // until the test releases it.
  struct Hold {
    bool fArmed = false;
    std::string fLetter;
    HoldMode fMode = HoldMode::BeforeCarryingOut;
    int fSkip = 0;
    bool fHolding = false;   // a command waits at the hold now
    bool fReleased = false;  // the test let it go
    bool fCarryOut = true;   // ... to be carried out and answered
    uint64_t fCaught = 0;    // commands held so far
    std::thread::id fServer;  // the thread serving the held command
  };
  Hold fHold;
  std::function<void(const ReceivedPacket&)> fHoldListener;
  bool fStopping = false;
  uint64_t fFaultEpoch = 0;  // changes whenever the delay changes
  std::condition_variable fWake;  // ends delays when the server stops

  std::mutex fListenerMutex;  // serialises paper callbacks in print order
  std::function<void(const std::string&)> fListener;

  std::mutex fDaemonMutex;
  MHD_Daemon* fDaemon = nullptr;
  uint16_t fPort = 0;
  std::string fDigestRandom;

  // REQUIRES: fMutex held.
  void AutoSave() {
    if (!fOptions.fAutoSaveFile.empty()) SaveStateFile(fModel, fOptions.fAutoSaveFile);
  }

  static void* UriLog(void*, const char* aUri, MHD_Connection*) {
    auto* ctx = new RequestContext;
    ctx->fUri = aUri ? aUri : "";
    return ctx;
  }

  static void Completed(void*, MHD_Connection*, void** aContext, MHD_RequestTerminationCode) {
    delete static_cast<RequestContext*>(*aContext);
    *aContext = nullptr;
  }

  static MHD_Result Answer(MHD_Connection* aConn, unsigned aStatus, const std::string& aBody) {
    MHD_Response* resp = MHD_create_response_from_buffer(aBody.size(), const_cast<char*>(aBody.data()),
                                                         MHD_RESPMEM_MUST_COPY);
    if (!resp) return MHD_NO;
    MHD_add_response_header(resp, "Content-Type", "text/plain; charset=utf-8");
    MHD_Result r = MHD_queue_response(aConn, aStatus, resp);
    MHD_destroy_response(resp);
    return r;
  }

  // Returns true when the request carries valid credentials; otherwise queues the challenge.
  bool Authorised(MHD_Connection* aConn, MHD_Result& aResult) {
    if (fOptions.fAuth == AuthMode::None) return true;
    static const char kDenied[] = "Unauthorized";
    if (fOptions.fAuth == AuthMode::Basic) {
      char* pass = nullptr;
      char* user = MHD_basic_auth_get_username_password(aConn, &pass);
      bool ok = user && pass && fOptions.fUser == user && fOptions.fPassword == pass;
      if (user) MHD_free(user);
      if (pass) MHD_free(pass);
      if (ok) return true;
      MHD_Response* resp = MHD_create_response_from_buffer(sizeof kDenied - 1, const_cast<char*>(kDenied),
                                                           MHD_RESPMEM_PERSISTENT);
      aResult = MHD_queue_basic_auth_fail_response(aConn, fOptions.fRealm.c_str(), resp);
      MHD_destroy_response(resp);
      return false;
    }
    char* user = MHD_digest_auth_get_username(aConn);
    int check = MHD_NO;
    if (user) {
      bool sameUser = fOptions.fUser == user;
      MHD_free(user);
      if (sameUser)
        check = MHD_digest_auth_check2(aConn, fOptions.fRealm.c_str(), fOptions.fUser.c_str(),
                                       fOptions.fPassword.c_str(), kNonceTimeoutSeconds, MHD_DIGEST_ALG_MD5);
    }
    if (check == MHD_YES) return true;
    MHD_Response* resp = MHD_create_response_from_buffer(sizeof kDenied - 1, const_cast<char*>(kDenied),
                                                         MHD_RESPMEM_PERSISTENT);
    aResult = MHD_queue_auth_fail_response2(aConn, fOptions.fRealm.c_str(), kOpaque, resp,
                                            check == MHD_INVALID_NONCE ? MHD_YES : MHD_NO, MHD_DIGEST_ALG_MD5);
    MHD_destroy_response(resp);
    return false;
  }

  static MHD_Result Handle(void* aCls, MHD_Connection* aConn, const char*, const char* aMethod, const char*,
                           const char*, size_t* aUploadSize, void** aContext) {
    auto* self = static_cast<Impl*>(aCls);
    auto* ctx = static_cast<RequestContext*>(*aContext);
    if (!ctx) return MHD_NO;
    *aUploadSize = 0;  // no command carries a body; whatever comes is ignored
    if (std::strcmp(aMethod, "GET") != 0) return Answer(aConn, MHD_HTTP_METHOD_NOT_ALLOWED, "Method not allowed");
    MHD_Result authResult = MHD_NO;
    if (!self->Authorised(aConn, authResult)) return authResult;
    ParsedRequest req = ParseRequest(ctx->fUri);
    if (req.fStatus != 200) return Answer(aConn, req.fStatus, "Bad request");
    return self->Serve(aConn, req);
  }

  // Holds the command aReq at the hold point until the test releases it; false when it is to
  // go no further (released without carrying out, or the server stops). Other requests are
  // served meanwhile, so both locks are given up while it waits and taken again in order.
  // REQUIRES: both locks held, fHold armed for this command.
  bool WaitAtHold(std::unique_lock<std::mutex>& aLock, std::unique_lock<std::mutex>& aPaperOrder,
                  const ParsedRequest& aReq) {
    fHold.fArmed = false;
    fHold.fHolding = true;
    fHold.fReleased = false;
    fHold.fCarryOut = true;
    fHold.fServer = std::this_thread::get_id();
    ++fHold.fCaught;
    auto listener = fHoldListener;
    aLock.unlock();
    aPaperOrder.unlock();
    fWake.notify_all();
    if (listener) listener(ReceivedPacket{aReq.fLetter, aReq.fData});
    aLock.lock();
    fWake.wait(aLock, [this] { return fStopping || fHold.fReleased; });
    const bool goOn = !fStopping && fHold.fCarryOut;
    aLock.unlock();
    aPaperOrder.lock();
    aLock.lock();
    // Still holding the paper order, which the command keeps until it is carried out: a
    // release that waits for the hold to end waits for that too.
    fHold.fHolding = false;
    fWake.notify_all();
    return goOn && !fStopping;
  }

  MHD_Result Serve(MHD_Connection* aConn, const ParsedRequest& aReq) {
    std::unique_lock<std::mutex> paperOrder(fListenerMutex);
    std::unique_lock<std::mutex> lock(fMutex);
    if (fStopping) return MHD_NO;  // queued behind a slow answer while the server stopped
    if (fPackets.size() >= kPacketsKeep) fPackets.erase(fPackets.begin(), fPackets.begin() + kPacketsKeep / 2);
    fPackets.push_back(ReceivedPacket{aReq.fLetter, aReq.fData});
    if (fDelay.count() > 0) {
      // The printer answers one command at a time, so a slow answer holds the others back.
      // Clearing the faults or stopping ends the wait early.
      uint64_t epoch = fFaultEpoch;
      fWake.wait_for(lock, fDelay, [this, epoch] { return fStopping || fFaultEpoch != epoch; });
      if (fStopping) return MHD_NO;
    }
    if (fResetCount > 0) {
      --fResetCount;
      const MHD_ConnectionInfo* ci = MHD_get_connection_info(aConn, MHD_CONNECTION_INFO_CONNECTION_FD);
      if (ci) {
        // Dissolving the association of a connected TCP socket aborts it with RST at once;
        // the server closes the descriptor afterwards as usual.
        sockaddr none{};
        none.sa_family = AF_UNSPEC;
        connect(ci->connect_fd, &none, sizeof none);
      }
      return MHD_NO;
    }
    if (fFailCount > 0) {
      --fFailCount;
      if (fFailStatus == 0) return MHD_NO;
      int status = fFailStatus;
      lock.unlock();
      return Answer(aConn, static_cast<unsigned>(status), "Injected failure");
    }
    bool holdAfter = false;
    if (fHold.fArmed && fHold.fLetter == aReq.fLetter) {
      if (fHold.fSkip > 0) {
        --fHold.fSkip;
      } else if (fHold.fMode == HoldMode::AfterCarryingOut) {
        holdAfter = true;
      } else if (!WaitAtHold(lock, paperOrder, aReq)) {
        return MHD_NO;
      }
    }
    std::string frame;
    bool forced = false;
    bool dropThis = false;
    bool replay = false;
    int refuseAfter = -1;
    int statusAfter = 0;
    std::chrono::milliseconds late{0};
    if (aReq.fLetter == "@" && fBusyCount > 0) {
      --fBusyCount;
      frame = "00/00/02/";
      forced = true;
    } else {
      // Every fault aimed at this letter counts the command towards its skip; the first one
      // whose skip is used up acts on it.
      bool acted = false;
      std::optional<Forced> then;
      for (auto it = fForced.begin(); it != fForced.end();) {
        if (it->fLetter != aReq.fLetter) {
          ++it;
        } else if (it->fSkip > 0) {
          --it->fSkip;
          ++it;
        } else if (acted) {
          ++it;
        } else {
          acted = true;
          if (it->fLost) {
            forced = true;
            dropThis = true;
          } else if (it->fReboot) {
            fModel.Reboot(it->fNeedsZ);
            AutoSave();
            forced = true;
            dropThis = true;
          } else if (it->fReplay) {
            replay = true;
          } else if (it->fRefuseAfter >= 0) {
            refuseAfter = it->fRefuseAfter;
          } else if (it->fDrop) {
            dropThis = true;
          } else if (it->fHttpStatus != 0) {
            statusAfter = it->fHttpStatus;
          } else if (it->fLate.count() > 0) {
            late = it->fLate;
          } else {
            frame = it->fVerbatim ? it->fFrame : fModel.StatusFrame(it->fCode);
            forced = true;
          }
          if (it->fThenCount > 0) then = Forced{it->fThenLetter, it->fThenCode, false, "", it->fThenCount, 0};
          it = --it->fCount <= 0 ? fForced.erase(it) : it + 1;
        }
      }
      if (then) fForced.push_back(*then);
    }
    if (!forced) {
      frame = aReq.fFieldError ? fModel.StatusFrame(rcBadField) : fModel.Execute(aReq.fLetter, aReq.fData);
      if (replay && !aReq.fFieldError) frame = fModel.Execute(aReq.fLetter, aReq.fData);
      if (refuseAfter >= 0) frame = fModel.StatusFrame(refuseAfter);
      AutoSave();
    }
    if (holdAfter && !WaitAtHold(lock, paperOrder, aReq)) dropThis = true;
    bool drop = dropThis;
    if (!drop && fDropCount > 0) {
      --fDropCount;
      drop = true;
    }
    if (late.count() > 0) {
      uint64_t epoch = fFaultEpoch;
      fWake.wait_for(lock, late, [this, epoch] { return fStopping || fFaultEpoch != epoch; });
      if (fStopping) drop = true;
    }
    std::vector<std::string> printed = fModel.TakeNewPaper();
    lock.unlock();
    if (fListener)
      for (const auto& l : printed) fListener(l);
    paperOrder.unlock();
    if (drop) return MHD_NO;
    if (statusAfter != 0) return Answer(aConn, static_cast<unsigned>(statusAfter), "Injected failure after execution");
    return Answer(aConn, MHD_HTTP_OK, frame);
  }
};

PrinterEmulator::PrinterEmulator(EmulatorOptions aOptions) : fImpl(std::make_unique<Impl>(std::move(aOptions))) {}

PrinterEmulator::~PrinterEmulator() { Stop(); }

uint16_t PrinterEmulator::Start() {
  std::lock_guard<std::mutex> guard(fImpl->fDaemonMutex);
  if (fImpl->fDaemon) return fImpl->fPort;
  {
    std::lock_guard<std::mutex> lock(fImpl->fMutex);
    fImpl->fStopping = false;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(fImpl->fPort ? fImpl->fPort : fImpl->fOptions.fPort);
  if (inet_pton(AF_INET, fImpl->fOptions.fBindAddress.c_str(), &addr.sin_addr) != 1)
    throw std::runtime_error("fpemu: invalid bind address " + fImpl->fOptions.fBindAddress);
  fImpl->fDigestRandom = std::to_string(reinterpret_cast<uintptr_t>(this)) + std::to_string(Now());
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ITC;
  fImpl->fDaemon = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &Impl::Handle, fImpl.get(),                              //
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr*>(&addr),                     //
      MHD_OPTION_URI_LOG_CALLBACK, &Impl::UriLog, fImpl.get(),                            //
      MHD_OPTION_NOTIFY_COMPLETED, &Impl::Completed, fImpl.get(),                         //
      MHD_OPTION_CONNECTION_TIMEOUT, 30u,                                                 //
      MHD_OPTION_CONNECTION_LIMIT, 64u,                                                   //
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),                 //
      MHD_OPTION_DIGEST_AUTH_RANDOM, fImpl->fDigestRandom.size(), fImpl->fDigestRandom.c_str(),  //
      MHD_OPTION_NONCE_NC_SIZE, 1024u,                                                    //
      MHD_OPTION_END);
  if (!fImpl->fDaemon)
    throw std::runtime_error("fpemu: cannot listen on " + fImpl->fOptions.fBindAddress + ":" +
                             std::to_string(fImpl->fOptions.fPort));
  const MHD_DaemonInfo* info = MHD_get_daemon_info(fImpl->fDaemon, MHD_DAEMON_INFO_BIND_PORT);
  fImpl->fPort = info ? info->port : fImpl->fOptions.fPort;
  return fImpl->fPort;
}

void PrinterEmulator::Stop() {
  std::lock_guard<std::mutex> guard(fImpl->fDaemonMutex);
  if (!fImpl->fDaemon) return;
  {
    std::lock_guard<std::mutex> lock(fImpl->fMutex);
    fImpl->fStopping = true;
  }
  fImpl->fWake.notify_all();
  MHD_stop_daemon(fImpl->fDaemon);
  fImpl->fDaemon = nullptr;
}

uint16_t PrinterEmulator::Port() const {
  std::lock_guard<std::mutex> guard(fImpl->fDaemonMutex);
  return fImpl->fPort;
}

std::string PrinterEmulator::BaseUrl() const {
  return "http://" + fImpl->fOptions.fBindAddress + ":" + std::to_string(Port()) + "/";
}

#define FPEMU_LOCKED std::lock_guard<std::mutex> lock(fImpl->fMutex)

PrinterSnapshot PrinterEmulator::Snapshot() const {
  FPEMU_LOCKED;
  return fImpl->fModel.Snapshot();
}
DateTime PrinterEmulator::Clock() const {
  FPEMU_LOCKED;
  return fImpl->fModel.Clock();
}
void PrinterEmulator::SetClock(DateTime aValue) {
  FPEMU_LOCKED;
  fImpl->fModel.SetClock(aValue);
}
void PrinterEmulator::SetDayOpen(bool aOpen) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fDayOpen = aOpen;
}
void PrinterEmulator::SetInactivePeriod(bool aInactive) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fInactivePeriod = aInactive;
}
void PrinterEmulator::SetPaperEnd(bool aPaperEnd) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fPaperEnd = aPaperEnd;
}
void PrinterEmulator::SetTraining(bool aTraining) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fTraining = aTraining;
}
void PrinterEmulator::SetFiscalMode(int aMode) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fFiscalMode = aMode;
}
void PrinterEmulator::SetSerialNumber(const std::string& aSerial) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fSerialNumber = aSerial;
}
void PrinterEmulator::SetCheckReferences(bool aCheck) {
  FPEMU_LOCKED;
  fImpl->fModel.SetCheckReferences(aCheck);
}
void PrinterEmulator::SetDrawerOpen(bool aOpen) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fDrawerOpen = aOpen;
}
void PrinterEmulator::SetIgnoreJournalClosing(bool aIgnore) {
  FPEMU_LOCKED;
  fImpl->fModel.SetIgnoreJournalClosing(aIgnore);
}
void PrinterEmulator::SetZCounter(int aCounter) {
  FPEMU_LOCKED;
  fImpl->fModel.State().fZCounter = aCounter;
}
namespace {

// Entry aNumber (counted from 1) of a table of the printer; out_of_range names aWhat.
template <class T>
T& TableEntry(std::vector<T>& aTable, int aNumber, const char* aWhat) {
  if (aNumber < 1 || aNumber > static_cast<int>(aTable.size())) throw std::out_of_range(std::string("fpemu: ") + aWhat);
  return aTable[static_cast<size_t>(aNumber - 1)];
}

}  // namespace

void PrinterEmulator::SetPaymentSlot(int aSlot, const PaymentSlot& aValue) {
  FPEMU_LOCKED;
  TableEntry(fImpl->fModel.State().fPaymentSlots, aSlot, "payment slot") = aValue;
}
void PrinterEmulator::SetVatSlot(int aSlot, const VatSlot& aValue) {
  FPEMU_LOCKED;
  // A rate of zero names its natura by index; the printer knows seven.
  if (aValue.fNatura < 0 || aValue.fNatura > 6) throw std::out_of_range("fpemu: VAT natura");
  TableEntry(fImpl->fModel.State().fVat, aSlot, "VAT slot") = aValue;
}
void PrinterEmulator::SetDepartment(int aNumber, const Department& aValue) {
  FPEMU_LOCKED;
  if (aValue.fVatSlot < 1 || aValue.fVatSlot > 12) throw std::out_of_range("fpemu: department VAT slot");
  TableEntry(fImpl->fModel.State().fDepartments, aNumber, "department") = aValue;
}

std::vector<std::string> PrinterEmulator::Paper() const {
  FPEMU_LOCKED;
  return fImpl->fModel.Paper();
}
std::string PrinterEmulator::PaperText() const {
  FPEMU_LOCKED;
  std::string out;
  for (const auto& l : fImpl->fModel.Paper()) out += l + "\n";
  return out;
}
void PrinterEmulator::ClearPaper() {
  FPEMU_LOCKED;
  fImpl->fModel.TakeNewPaper();
  fImpl->fModel.Paper().clear();
  fImpl->fModel.TakeNewPaper();
}
void PrinterEmulator::SetPaperListener(std::function<void(const std::string&)> aListener) {
  std::lock_guard<std::mutex> guard(fImpl->fListenerMutex);
  fImpl->fListener = std::move(aListener);
}

std::vector<JournalEntry> PrinterEmulator::Journal() const {
  FPEMU_LOCKED;
  return fImpl->fModel.Journal();
}

std::vector<ReceivedPacket> PrinterEmulator::Packets() const {
  FPEMU_LOCKED;
  return fImpl->fPackets;
}
void PrinterEmulator::ClearPackets() {
  FPEMU_LOCKED;
  fImpl->fPackets.clear();
}

void PrinterEmulator::SetDelay(std::chrono::milliseconds aDelay) {
  {
    FPEMU_LOCKED;
    fImpl->fDelay = aDelay;
    ++fImpl->fFaultEpoch;
  }
  fImpl->fWake.notify_all();
}
void PrinterEmulator::FailNext(int aCount, int aHttpStatus) {
  FPEMU_LOCKED;
  fImpl->fFailCount = aCount;
  fImpl->fFailStatus = aHttpStatus;
}
void PrinterEmulator::ResetNext(int aCount) {
  FPEMU_LOCKED;
  fImpl->fResetCount = aCount;
}
void PrinterEmulator::DropNextAnswers(int aCount) {
  FPEMU_LOCKED;
  fImpl->fDropCount = aCount;
}
void PrinterEmulator::AnswerBusy(int aCount) {
  FPEMU_LOCKED;
  fImpl->fBusyCount = aCount;
}
void PrinterEmulator::DropAnswers(const std::string& aLetter, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0) fImpl->fForced.push_back({aLetter, 0, false, "", aCount, aSkip, true});
}
void PrinterEmulator::ForceReplyCode(const std::string& aLetter, int aCode, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0) fImpl->fForced.push_back({aLetter, aCode, false, "", aCount, aSkip, false});
}
void PrinterEmulator::ForceFrame(const std::string& aLetter, const std::string& aFrame, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0) fImpl->fForced.push_back({aLetter, 0, true, aFrame, aCount, aSkip, false});
}
void PrinterEmulator::AnswerStatus(const std::string& aLetter, int aHttpStatus, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0 && aHttpStatus > 0) fImpl->fForced.push_back({aLetter, 0, false, "", aCount, aSkip, false, aHttpStatus});
}
void PrinterEmulator::AnswerLate(const std::string& aLetter, std::chrono::milliseconds aDelay, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0 && aDelay.count() > 0)
    fImpl->fForced.push_back({aLetter, 0, false, "", aCount, aSkip, false, 0, aDelay});
}
void PrinterEmulator::LoseRequests(const std::string& aLetter, int aCount, int aSkip) {
  FPEMU_LOCKED;
  if (aCount > 0) fImpl->fForced.push_back({aLetter, 0, false, "", aCount, aSkip, false, 0, {}, true});
}
void PrinterEmulator::LoseThenRefuse(const std::string& aLost, const std::string& aRefused, int aCode, int aRefusals) {
  FPEMU_LOCKED;
  Impl::Forced f{aLost, 0, false, "", 1, 0};
  f.fLost = true;
  f.fThenLetter = aRefused;
  f.fThenCode = aCode & 0xFF;
  f.fThenCount = aRefusals;
  fImpl->fForced.push_back(f);
}
void PrinterEmulator::ReplayRequests(const std::string& aLetter, int aCount, int aSkip) {
  FPEMU_LOCKED;
  Impl::Forced f{aLetter, 0, false, "", aCount, aSkip};
  f.fReplay = true;
  if (aCount > 0) fImpl->fForced.push_back(f);
}
void PrinterEmulator::RefuseAfterCarryingOut(const std::string& aLetter, int aCode, int aCount, int aSkip) {
  FPEMU_LOCKED;
  Impl::Forced f{aLetter, 0, false, "", aCount, aSkip};
  f.fRefuseAfter = aCode & 0xFF;
  if (aCount > 0) fImpl->fForced.push_back(f);
}
void PrinterEmulator::Reboot(bool aNeedsZ) {
  FPEMU_LOCKED;
  fImpl->fModel.Reboot(aNeedsZ);
  fImpl->AutoSave();
}
void PrinterEmulator::RebootAt(const std::string& aLetter, bool aNeedsZ, int aSkip) {
  FPEMU_LOCKED;
  Impl::Forced f{aLetter, 0, false, "", 1, aSkip};
  f.fReboot = true;
  f.fNeedsZ = aNeedsZ;
  fImpl->fForced.push_back(f);
}
void PrinterEmulator::SetStateSaysIdle(bool aIdle) {
  FPEMU_LOCKED;
  fImpl->fModel.SetStateSaysIdle(aIdle);
}
void PrinterEmulator::SetStateHidesClosings(bool aHide) {
  FPEMU_LOCKED;
  fImpl->fModel.SetStateHidesClosings(aHide);
}

void PrinterEmulator::HoldAt(const std::string& aLetter, HoldMode aMode, int aSkip) {
  FPEMU_LOCKED;
  fImpl->fHold.fArmed = true;
  fImpl->fHold.fLetter = aLetter;
  fImpl->fHold.fMode = aMode;
  fImpl->fHold.fSkip = aSkip;
}
bool PrinterEmulator::WaitHeld(std::chrono::milliseconds aBound) {
  std::unique_lock<std::mutex> lock(fImpl->fMutex);
  return fImpl->fWake.wait_for(lock, aBound, [this] { return fImpl->fHold.fHolding || fImpl->fStopping; }) &&
         fImpl->fHold.fHolding;
}
void PrinterEmulator::ReleaseHold(bool aCarryOut) {
  {
    FPEMU_LOCKED;
    if (!fImpl->fHold.fHolding) return;
    fImpl->fHold.fReleased = true;
    fImpl->fHold.fCarryOut = aCarryOut;
  }
  fImpl->fWake.notify_all();
  // From another thread than the held command's own: returns once the command has been
  // carried out (or dropped), so that what the test does next meets the printer after it.
  std::unique_lock<std::mutex> lock(fImpl->fMutex);
  if (fImpl->fHold.fServer == std::this_thread::get_id()) return;
  fImpl->fWake.wait(lock, [this] { return !fImpl->fHold.fHolding || fImpl->fStopping; });
  lock.unlock();
  std::lock_guard<std::mutex> carriedOut(fImpl->fListenerMutex);
}
void PrinterEmulator::SetHoldListener(std::function<void(const ReceivedPacket&)> aListener) {
  FPEMU_LOCKED;
  fImpl->fHoldListener = std::move(aListener);
}

void PrinterEmulator::ClearFaults() {
  {
    FPEMU_LOCKED;
    fImpl->fDelay = std::chrono::milliseconds(0);
    fImpl->fFailCount = fImpl->fDropCount = fImpl->fBusyCount = fImpl->fResetCount = 0;
    fImpl->fForced.clear();
    fImpl->fModel.SetStateSaysIdle(false);
    fImpl->fModel.SetStateHidesClosings(false);
    fImpl->fHold.fArmed = false;
    if (fImpl->fHold.fHolding) {
      fImpl->fHold.fReleased = true;
      fImpl->fHold.fCarryOut = false;
    }
    ++fImpl->fFaultEpoch;
  }
  fImpl->fWake.notify_all();
}

std::string PrinterEmulator::Execute(const std::string& aLetter, const std::string& aData) {
  std::vector<std::string> printed;
  std::string frame;
  std::lock_guard<std::mutex> paperOrder(fImpl->fListenerMutex);
  {
    FPEMU_LOCKED;
    frame = fImpl->fModel.Execute(aLetter, aData);
    fImpl->AutoSave();
    printed = fImpl->fModel.TakeNewPaper();
  }
  if (fImpl->fListener)
    for (const auto& l : printed) fImpl->fListener(l);
  return frame;
}

bool PrinterEmulator::SaveState(const std::string& aPath) const {
  FPEMU_LOCKED;
  return SaveStateFile(fImpl->fModel, aPath);
}
bool PrinterEmulator::LoadState(const std::string& aPath) {
  FPEMU_LOCKED;
  return LoadStateFile(fImpl->fModel, aPath);
}

}  // namespace fp::emu
