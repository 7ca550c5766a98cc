/* Compiled as C: the public header is plain C, and a C host can drive the library with the
   header's types alone. */
#include "fpdriver/fpdriver.h"

#include <dlfcn.h>
#include <stddef.h>

#define FP_SAME_SHAPE(name)                                                         \
  _Static_assert(sizeof(name((BSTR)0, (BSTR*)0, (BSTR*)0)) == sizeof(int16_t), #name)

FP_SAME_SHAPE(PRINTFR);
FP_SAME_SHAPE(REPRINTFR);
FP_SAME_SHAPE(PRINTXR);
FP_SAME_SHAPE(PRINTZR);
FP_SAME_SHAPE(PRINTNFR);
FP_SAME_SHAPE(DISPLAY);
FP_SAME_SHAPE(OPENDR);
FP_SAME_SHAPE(GETSTATUS);
FP_SAME_SHAPE(SET);
FP_SAME_SHAPE(SETDATETIME);
FP_SAME_SHAPE(OPEN);
FP_SAME_SHAPE(GETDRSTATUS);
FP_SAME_SHAPE(EJREPORT);
FP_SAME_SHAPE(CLOSE);
FP_SAME_SHAPE(GETVATTABLE);
FP_SAME_SHAPE(SETVATTABLE);
FP_SAME_SHAPE(GETDEPTTABLE);
FP_SAME_SHAPE(SETDEPTTABLE);
FP_SAME_SHAPE(PAY);
FP_SAME_SHAPE(GETLOTTERYRCPTSTATUS);
FP_SAME_SHAPE(GETEJFILES);
FP_SAME_SHAPE(VERSION);
_Static_assert(sizeof(OLECHAR) == 2, "UTF-16 code units");

/* Calls GETSTATUS with an empty request through the library at aPath; returns the
   result, or 1 when the library cannot be used. *aErrorLength gets the error's length. */
int fp_c_call_getstatus(const char* aPath, unsigned* aErrorLength) {
  typedef fpdriver_result_t (*export_fn)(BSTR, BSTR*, BSTR*);
  typedef BSTR (*alloc_fn)(const OLECHAR*);
  typedef void (*free_fn)(BSTR);
  typedef unsigned (*len_fn)(BSTR);
  static const OLECHAR request[] = {'<', 'R', '/', '>', 0};
  void* lib = dlopen(aPath, RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) return 1;
  export_fn getStatus = (export_fn)dlsym(lib, "GETSTATUS");
  alloc_fn alloc = (alloc_fn)dlsym(lib, "SysAllocString");
  free_fn release = (free_fn)dlsym(lib, "SysFreeString");
  len_fn length = (len_fn)dlsym(lib, "SysStringLen");
  if (getStatus == NULL || alloc == NULL || release == NULL || length == NULL) return 1;
  BSTR xml = alloc(request);
  BSTR output = NULL;
  BSTR error = NULL;
  fpdriver_result_t result = getStatus(xml, &output, &error);
  *aErrorLength = length(error);
  release(output);
  release(error);
  release(xml);
  return result;
}
