/*
 * dlopen_host.c: a host that loads libfpdriver at run time, as most point-of-sale programs
 * load their printer drivers, and looks every function up by name.
 *
 *   cc dlopen_host.c -ldl -o dlopen_host
 *   ./dlopen_host http://192.168.1.50/ [LIBRARY]
 *
 * LIBRARY defaults to libfpdriver.so.1 from the loader's search path. Opens the printer,
 * reads its status and the VAT table, closes the device.
 */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef uint16_t Unit; /* a UTF-16 code unit */
typedef Unit *Bstr;
typedef int16_t (*Export)(Bstr, Bstr *, Bstr *);

static Bstr (*AllocLen)(const Unit *, unsigned);
static void (*Free)(Bstr);
static unsigned (*Length)(Bstr);

/* Calls the export `name` with an ASCII request; the answer goes to standard output. Returns
 * the export's result and leaves the answer's ASCII text in `answer`. */
static int Call(void *library, const char *name, const char *request, char *answer, size_t size) {
  Export fn = (Export)dlsym(library, name);
  if (fn == NULL) {
    fprintf(stderr, "no export %s\n", name);
    return -1;
  }
  Unit units[2048];
  size_t n = strlen(request);
  if (n > sizeof units / sizeof units[0]) return -1;
  for (size_t i = 0; i < n; ++i) units[i] = (unsigned char)request[i];
  Bstr xml = AllocLen(units, (unsigned)n);
  Bstr output = NULL, error = NULL;
  int result = fn(xml, &output, &error);
  size_t j = 0;
  for (unsigned i = 0; output != NULL && i < Length(output) && j + 1 < size; ++i)
    answer[j++] = output[i] < 0x80 ? (char)output[i] : '?';
  answer[j] = '\0';
  printf("== %s: %s\n%s\n", name, result == 0 ? "ok" : "FAILED", answer);
  Free(output);
  Free(error);
  Free(xml);
  return result;
}

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s PRINTER-URL [LIBRARY]\n", argv[0]);
    return 2;
  }
  void *library = dlopen(argc == 3 ? argv[2] : "libfpdriver.so.1", RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  *(void **)&AllocLen = dlsym(library, "SysAllocStringLen");
  *(void **)&Free = dlsym(library, "SysFreeString");
  *(void **)&Length = dlsym(library, "SysStringLen");

  char request[1024], answer[16384];
  snprintf(request, sizeof request,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver>"
           "<Connection><Type>HTTP</Type><URL>%s</URL></Connection></ReceiptPrinterManager>",
           argv[1]);
  if (Call(library, "OPEN", request, answer, sizeof answer) != 0) return 1;
  int handle = 0;
  const char *at = strstr(answer, "<Handle>");
  if (at != NULL) sscanf(at + 8, "%d", &handle);

  snprintf(request, sizeof request,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>%d</Handle>"
           "</ReceiptPrinterManager>",
           handle);
  int failures = Call(library, "GETSTATUS", request, answer, sizeof answer) != 0;
  failures += Call(library, "GETVATTABLE", request, answer, sizeof answer) != 0;
  failures += Call(library, "CLOSE", request, answer, sizeof answer) != 0;
  /* The library stays loaded: it is built never to be unloaded while its threads run. */
  return failures == 0 ? 0 : 1;
}
