// Library loading on Windows under the POSIX names the loaders use: LoadLibraryW with a
// UTF-8 path, GetProcAddress and FreeLibrary. A failed dlopen leaves the system's error
// code (GetLastError) in errno and its text in dlerror().
#pragma once

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x0
#define RTLD_GLOBAL 0x100
#define RTLD_NOLOAD 0x4

#ifdef __cplusplus
extern "C" {
#endif

void* dlopen(const char* aPath, int aFlags);
void* dlsym(void* aLibrary, const char* aName);
int dlclose(void* aLibrary);
char* dlerror(void);

#ifdef __cplusplus
}
#endif
