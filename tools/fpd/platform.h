// What fpd asks of the operating system, with one source per system (platform_posix.cpp,
// platform_win.cpp): where the program and the library are, and the requests to stop.
#pragma once

#include <cstdint>
#include <string>

namespace fpd {

// The folder holding the running program; "." when the system does not tell.
std::string ProgramFolder();

// Creates the folder aPath (UTF-8) unless it exists; its parent must exist.
void MakeFolder(const std::string& aPath);

// The library beside the program (the build tree's, the same folder, the installed one), or
// the bare name the loader's search path resolves.
std::string DefaultLibraryPath();

// The loaded module that holds the BSTR functions (SysAllocStringLen, SysFreeString,
// SysStringLen): the driver library itself, or the system's own string functions where the
// system has them. Throws std::runtime_error when they cannot be loaded.
void* StringFunctionsModule(void* aDriverLibrary);

// Closes a socket libmicrohttpd gave back (its MHD_socket: a descriptor or a SOCKET).
void CloseSocket(std::intptr_t aSocket);

// Takes the requests to stop (SIGTERM and SIGINT; on Windows the console's Ctrl+C,
// Ctrl+Break, close, log-off and shut-down events) away from every thread started later.
// Called first, before any thread starts.
void CatchStopRequests();

// Waits for a request to stop and names it for the log ("SIGTERM", "SIGINT", "Ctrl+C", ...).
std::string WaitForStopRequest();

// Called once fpd has stopped cleanly: a console that is closing is let go.
void StopFinished();

}  // namespace fpd
