// A listening socket whose accept queue is full and never drains: a client's connect()
// to it never completes, which is how a printer that is up but overwhelmed looks from the
// network. Point a client at BaseUrl() to exercise its connect timeout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fp::emu {

class FullBacklogListener {
 public:
  FullBacklogListener() = default;
  ~FullBacklogListener();
  FullBacklogListener(const FullBacklogListener&) = delete;
  FullBacklogListener& operator=(const FullBacklogListener&) = delete;

  // Listens on 127.0.0.1 (aPort, or a free port when 0) and fills the queue; returns the
  // port. Given the port of a stopped emulator, the printer seems to hang in its place.
  // Throws std::runtime_error when the port cannot be bound or the queue cannot be filled.
  uint16_t Start(uint16_t aPort = 0);
  void Stop();
  uint16_t Port() const { return fPort; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(fPort) + "/"; }

 private:
  int fListener = -1;
  std::vector<int> fFillers;
  uint16_t fPort = 0;
};

}  // namespace fp::emu
