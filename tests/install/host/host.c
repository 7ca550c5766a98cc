/* A host built against the installed library: asks it for the driver's version. */
#include <stdio.h>

#include <fpdriver/fpdriver.h>

int main(void) {
  static const OLECHAR name[] = u"VNRP_TARVOLX40FPETH_10";
  BSTR request = SysAllocString(name);
  BSTR output = NULL;
  BSTR error = NULL;
  int16_t result = VERSION(request, &output, &error);
  if (result != 0 || output == NULL || SysStringLen(output) == 0) {
    fprintf(stderr, "VERSION answered %d without a version text\n", result);
    return 1;
  }
  /* The version text is ASCII: print its low bytes. */
  for (unsigned i = 0; i < SysStringLen(output); ++i) putchar((char)output[i]);
  putchar('\n');
  SysFreeString(output);
  SysFreeString(error);
  SysFreeString(request);
  return 0;
}
