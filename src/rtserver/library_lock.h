// Calls into an outside library of unknown thread safety go one at a time per loaded
// library: devices on different host threads may share one library (dlopen hands out the
// same handle for the same file), and such a library was written for one caller at a time.
#pragma once

#include <mutex>
#include <string>

#include "base/system_string.h"

namespace fp {

// The lock of the library loaded as aLibraryHandle; the same object for the same handle.
std::mutex& LibraryLock(void* aLibraryHandle);

// One call of an entry point that answers through two out strings (a text and a message):
// aCall(&text, &message) runs under the library's lock with both handed in null; whatever
// the library leaves in them is taken over, read into aText and aMessage, and freed, also
// when reading fails. Returns what aCall returned.
template <class Call>
auto CallWithOutStrings(void* aLibraryHandle, Call aCall, std::string& aText, std::string& aMessage) {
  char16_t* text = nullptr;
  char16_t* message = nullptr;
  decltype(aCall(&text, &message)) result;
  {
    std::lock_guard<std::mutex> serialised(LibraryLock(aLibraryHandle));
    result = aCall(&text, &message);
  }
  kSystemStringPtr textHolder(text);
  kSystemStringPtr messageHolder(message);
  aText = SystemStringText(text);
  aMessage = SystemStringText(message);
  return result;
}

}  // namespace fp
