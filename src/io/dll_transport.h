// kIOHandler_Dll: loads a library by file name for a driver that talks to its device
// through that library's procedures. The library stays loaded for the transport's life;
// the exchange slots do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/io_handler.h"

namespace fp {

class kIOHandler_Dll : public kIOHandler {
 public:
  // Loads LibraryName: a rooted path as it is, a relative path from the application folder
  // (PathInApplicationDir), a bare name from the application folder when it is there and
  // otherwise the way the system searches libraries; never from the working folder.
  // Raises "Unable to Load Library " + the path tried + ". " + the system's reason + " [" +
  // error number + "]" when it can't be loaded.
  kIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  // Unloads the library.
  ~kIOHandler_Dll() override;

  bool GetConnected() override { return true; }
  bool Connect() override { return kIOHandler::Connect(); }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  bool Write(const std::string&) override { return true; }
  std::string ReadUpTo(const std::vector<uint8_t>&) override { return {}; }
  std::string ReadChars(int32_t) override { return {}; }
  std::string ReadAll() override;                // "ReadAll Unsupported"
  bool InputBufferContainsData() override;       // "InputBufferContainsData Unsupported"
  std::string DecodeError(int32_t) override { return {}; }
  void SetParameter(const std::string&, const std::string&) override {}
  std::string ClassName() const override { return "kIOHandler_Dll"; }

  // The address of the named procedure; raises "Unable to get address for procedure " +
  // aProcName when the library has none.
  void* GetAddress(const std::string& aProcName);

 private:
  void* fLibraryHandle = nullptr;
};

}  // namespace fp
