// The POSIX signal calls fpemu's main thread waits with, on Windows: the console's control
// events stand in for the signals. Ctrl+C is SIGINT; Ctrl+Break, closing the console window,
// logging off and shutting down are SIGTERM. Other signals never arrive. Included before
// anything else in fpemu's main program (a compile option), so its source is the same on
// both systems.
#pragma once

#include <windows.h>

#include <cstdlib>

#include <pthread.h>  // pthread_sigmask: nothing to block, the events come to a thread of their own
#include <signal.h>

// Winsock raises no SIGPIPE, so ignoring it takes nothing; the C runtime's signal() is not
// asked about a number it does not know.
#ifndef SIGPIPE
#define SIGPIPE 13
inline void (*fpemu_signal(int aSignal, void (*aHandler)(int)))(int) {
  return aSignal == SIGPIPE ? SIG_DFL : signal(aSignal, aHandler);
}
#define signal(aSignal, aHandler) fpemu_signal(aSignal, aHandler)
#endif
#ifndef SIGUSR1
#define SIGUSR1 30
#endif
#ifndef _POSIX
typedef _sigset_t sigset_t;
#endif

inline int sigemptyset(sigset_t* aSet) {
  *aSet = 0;
  return 0;
}

inline int sigaddset(sigset_t* aSet, int aSignal) {
  *aSet |= static_cast<sigset_t>(1) << aSignal;
  return 0;
}

namespace fpemu_win32 {

// The last console event as a signal number, and the event that wakes the waiting thread.
inline volatile LONG gSignal = 0;
inline HANDLE gArrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
// Set once main() returns: Windows ends the process when the handler of a closing console
// returns, so that handler waits (within the system's few seconds) for the state to be saved.
inline HANDLE gFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);

inline BOOL WINAPI OnConsoleEvent(DWORD aEvent) {
  LONG signal = aEvent == CTRL_C_EVENT ? SIGINT : SIGTERM;
  InterlockedExchange(&gSignal, signal);
  SetEvent(gArrived);
  if (aEvent == CTRL_CLOSE_EVENT || aEvent == CTRL_LOGOFF_EVENT || aEvent == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(gFinished, 4000);
  return TRUE;
}

inline const bool gInstalled = [] {
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  std::atexit([] { SetEvent(gFinished); });
  return true;
}();

}  // namespace fpemu_win32

// Waits for a console event among aSet and gives its signal number.
inline int(sigwait)(const sigset_t* aSet, int* aSignal) {
  for (;;) {
    WaitForSingleObject(fpemu_win32::gArrived, INFINITE);
    LONG signal = InterlockedExchange(&fpemu_win32::gSignal, 0);
    if (signal != 0 && (*aSet & (static_cast<sigset_t>(1) << signal))) {
      *aSignal = static_cast<int>(signal);
      return 0;
    }
  }
}
