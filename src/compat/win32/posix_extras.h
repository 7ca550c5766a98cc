// The POSIX environment functions the tools and tests use, over the C runtime's own.
#pragma once

#ifdef __cplusplus
#include <cstdlib>

inline int setenv(const char* aName, const char* aValue, int aOverwrite) {
  if (!aOverwrite && std::getenv(aName) != nullptr) return 0;
  return _putenv_s(aName, aValue) == 0 ? 0 : -1;
}

// An empty value removes the variable from the C runtime's environment.
inline int unsetenv(const char* aName) { return _putenv_s(aName, "") == 0 ? 0 : -1; }
#endif
