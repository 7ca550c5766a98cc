// Connection types whose transports this build does not carry yet. The device still gets
// a transport with its log and its error slot, so the device can be created and report;
// Connect records why nothing can be reached. When a real transport lands, its
// NewIOHandler_* function replaces the one line below that names it.
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"

#include "io/device_handler.h"
#include "io/io_handler.h"
#include "io/transport_factory.h"

namespace fp {

namespace {

class kIOHandler_Pending : public kIOHandler {
 public:
  kIOHandler_Pending(std::string aClassName, const kConnection& aConnection, const std::string& aDirectory,
                     const std::string& aFileName)
      : kIOHandler(&aConnection, aDirectory, aFileName), fClassName(std::move(aClassName)) {}

  bool GetConnected() override { return false; }
  bool Connect() override {
    kIOHandler::Connect();
    const std::string message = fClassName + " is not available in this build";
    WriteLog(let_error, "Connect Error", message);
    SetCustomError(-1, message);
    return false;
  }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  bool Write(const std::string&) override { return false; }
  std::string ReadUpTo(const std::vector<uint8_t>&) override { return {}; }
  std::string ReadChars(int32_t) override { return {}; }
  std::string ReadAll() override { throw kException("ReadAll Unsupported"); }
  std::string DecodeError(int32_t) override { return {}; }
  bool InputBufferContainsData() override { throw kException("InputBufferContainsData Unsupported"); }
  void SetParameter(const std::string&, const std::string&) override {}
  std::string ClassName() const override { return fClassName; }

 private:
  std::string fClassName;
};

std::unique_ptr<kIOHandler> Pending(const char* aClassName, const kConnection& aConnection, const std::string& aDirectory,
                                    const std::string& aFileName) {
  return std::make_unique<kIOHandler_Pending>(aClassName, aConnection, aDirectory, aFileName);
}

}  // namespace

std::unique_ptr<kIOHandler> NewIOHandler_Spool(const kConnection& c, const std::string& d, const std::string& f) { return Pending("kIOHandler_Spool", c, d, f); }
std::unique_ptr<kIOHandler> NewIOHandler_Dll(const kConnection& c, const std::string& d, const std::string& f) { return Pending("kIOHandler_Dll", c, d, f); }

}  // namespace fp
