/* A Windows point-of-sale host in plain C: loads fpdriver.dll with LoadLibraryW, takes its
 * strings from oleaut32 (SysAllocString / SysFreeString) and runs a day against the printer
 * at the URL given: OPEN, GETSTATUS, a receipt with its text and picture, a non-fiscal
 * receipt, the X and Z reports, a journal read and CLOSE.
 *
 *   host_day.exe DLL-PATH PRINTER-URL
 *
 * Prints one line per step and "N passed, N failed"; exits 0 when every step passed. */
#include <windows.h>
#include <oleauto.h>

#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

#include "fpdriver/fpdriver.h"

typedef int16_t(FPDRIVER_CALL* export_fn)(BSTR, BSTR*, BSTR*);

static HMODULE g_library;
static int g_passed, g_failed;

static void check(int ok, const char* step, const char* detail) {
  if (ok) ++g_passed;
  else ++g_failed;
  printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", step, detail && *detail ? ": " : "", detail ? detail : "");
  fflush(stdout);
}

/* UTF-8 <-> OLE strings, through the system. */
static BSTR to_bstr(const char* text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
  BSTR s = SysAllocStringLen(NULL, (UINT)(n - 1));
  MultiByteToWideChar(CP_UTF8, 0, text, -1, s, n);
  return s;
}

static char* from_bstr(BSTR s) {
  UINT len = SysStringLen(s);
  int n = WideCharToMultiByte(CP_UTF8, 0, s, (int)len, NULL, 0, NULL, NULL);
  char* out = (char*)malloc((size_t)n + 1);
  WideCharToMultiByte(CP_UTF8, 0, s, (int)len, out, n, NULL, NULL);
  out[n] = 0;
  return out;
}

struct answer {
  int16_t result;
  char* output; /* the result fragment, UTF-8 */
  char* error;
};

static struct answer call(const char* name, const char* request) {
  struct answer a = {0, NULL, NULL};
  export_fn fn = (export_fn)(void*)GetProcAddress(g_library, name);
  BSTR xml = to_bstr(request), output = NULL, error = NULL;
  a.result = fn(xml, &output, &error);
  a.output = output ? from_bstr(output) : _strdup("");
  a.error = error ? from_bstr(error) : _strdup("");
  SysFreeString(output);
  SysFreeString(error);
  SysFreeString(xml);
  return a;
}

static void release(struct answer* a) {
  free(a->output);
  free(a->error);
}

/* The text of element NAME in a result fragment (a new string; empty when missing). */
static char* element(const char* fragment, const char* name) {
  char open[64], close[64];
  snprintf(open, sizeof open, "<%s>", name);
  snprintf(close, sizeof close, "</%s>", name);
  const char* start = strstr(fragment, open);
  const char* end = start ? strstr(start, close) : NULL;
  if (!start || !end) return _strdup("");
  start += strlen(open);
  char* out = (char*)malloc((size_t)(end - start) + 1);
  memcpy(out, start, (size_t)(end - start));
  out[end - start] = 0;
  return out;
}

static size_t base64_decode(const char* text, unsigned char* out) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned bits = 0, count = 0;
  size_t n = 0;
  for (; *text; ++text) {
    const char* p = strchr(digits, *text);
    if (*text == '=' || !p || !*text) continue; /* line breaks and padding */
    bits = (bits << 6) | (unsigned)(p - digits);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out[n++] = (unsigned char)(bits >> count);
    }
  }
  return n;
}

struct jpeg_failure {
  struct jpeg_error_mgr base;
  jmp_buf back;
};

static void on_jpeg_error(j_common_ptr info) { longjmp(((struct jpeg_failure*)info->err)->back, 1); }

/* Decodes the JPEG fully; the size in *width x *height, 0 when it does not decode. */
static int decode_jpeg(const unsigned char* data, size_t size, int* width, int* height) {
  struct jpeg_decompress_struct info;
  struct jpeg_failure failure;
  info.err = jpeg_std_error(&failure.base);
  failure.base.error_exit = on_jpeg_error;
  if (setjmp(failure.back)) {
    jpeg_destroy_decompress(&info);
    return 0;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, (unsigned long)size);
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  JSAMPLE* row = (JSAMPLE*)malloc((size_t)info.output_width * (size_t)info.output_components);
  while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, &row, 1);
  free(row);
  *width = (int)info.output_width;
  *height = (int)info.output_height;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return 1;
}

static char g_handle[32];

static char* request(const char* body) {
  static char buf[8192];
  snprintf(buf, sizeof buf,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>winhost</LogId>"
           "<Handle>%s</Handle>%s</ReceiptPrinterManager>",
           g_handle, body);
  return buf;
}

/* Runs one export and checks its result code. */
static struct answer step(const char* name, const char* body) {
  struct answer a = call(name, request(body));
  check(a.result == 0, name, a.error);
  return a;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: host_day DLL-PATH PRINTER-URL\n");
    return 2;
  }
  wchar_t path[MAX_PATH];
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, MAX_PATH);
  g_library = LoadLibraryW(path);
  if (!g_library) {
    fprintf(stderr, "LoadLibraryW failed: error %lu\n", (unsigned long)GetLastError());
    return 2;
  }
  static const char* const exports[] = {
      "PRINTFR",  "REPRINTFR",   "PRINTXR",      "PRINTZR",     "PRINTNFR",     "DISPLAY",
      "OPENDR",   "GETSTATUS",   "SET",          "SETDATETIME", "OPEN",         "GETDRSTATUS",
      "EJREPORT", "CLOSE",       "GETVATTABLE",  "SETVATTABLE", "GETDEPTTABLE", "SETDEPTTABLE",
      "PAY",      "GETLOTTERYRCPTSTATUS", "GETEJFILES", "VERSION"};
  int missing = 0;
  for (size_t i = 0; i < sizeof exports / sizeof *exports; ++i)
    if (!GetProcAddress(g_library, exports[i])) {
      check(0, "GetProcAddress", exports[i]);
      ++missing;
    }
  if (missing) return 1;
  /* The library has no string functions of its own: the host's come from oleaut32. */
  check(GetProcAddress(g_library, "SysAllocString") == NULL, "no SysAllocString export", "");

  char open_body[1024];
  snprintf(open_body, sizeof open_body, "<Connection><Type>HTTP</Type><URL>%s</URL></Connection>", argv[2]);
  struct answer a = step("OPEN", open_body);
  char* handle = element(a.output, "Handle");
  snprintf(g_handle, sizeof g_handle, "%s", handle);
  check(atoi(handle) > 0, "OPEN gives a handle", handle);
  free(handle);
  release(&a);
  if (g_failed) goto done;

  a = step("GETSTATUS", "");
  char* serial = element(a.output, "SerialNumber");
  check(*serial != 0, "GETSTATUS names the printer", serial);
  free(serial);
  release(&a);

  a = step("PRINTFR",
           "<Parameters><GetReceiptText>true</GetReceiptText><GetReceiptImage>true</GetReceiptImage></Parameters>"
           "<Receipt><Type>Sale</Type><Lines>"
           "<productsale><Description>Caff\xC3\xA8 espresso</Description><Quantity>2</Quantity><Department>1</Department>"
           "<Price>1.20</Price><Amount>2.40</Amount></productsale>"
           "</Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>2.40</Amount></Payment></Payments>"
           "</Receipt>");
  char* number = element(a.output, "ReceiptNumber");
  check(atoi(number) > 0, "PRINTFR numbers the receipt", number);
  char* text = element(a.output, "ReceiptText");
  check(strstr(text, "ESPRESSO") != NULL || strstr(text, "espresso") != NULL, "PRINTFR gives the receipt text", "");
  char* image = element(a.output, "ReceiptImage");
  unsigned char* jpeg = (unsigned char*)malloc(strlen(image) + 1);
  size_t size = base64_decode(image, jpeg);
  int width = 0, height = 0;
  int decoded = size > 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && decode_jpeg(jpeg, size, &width, &height);
  char detail[64];
  snprintf(detail, sizeof detail, "%dx%d", width, height);
  check(decoded && width > 100 && height > 50, "PRINTFR picture decodes as JPEG", detail);
  free(jpeg);
  free(image);
  free(text);
  free(number);
  release(&a);

  a = step("PRINTNFR", "<NFReceipt><Lines><Text><Value>BUONO SCONTO</Value><Alignment>center</Alignment></Text></Lines></NFReceipt>");
  release(&a);
  a = step("PRINTXR", "");
  release(&a);
  a = step("PRINTZR", "");
  char* z = element(a.output, "ZReportNumber");
  check(atoi(z) > 0, "PRINTZR numbers the report", z);
  free(z);
  release(&a);

  SYSTEMTIME now;
  GetLocalTime(&now);
  char journal[512];
  snprintf(journal, sizeof journal,
           "<EJReport><ReportType>FiscalReceipt</ReportType><ReportDestination>Memory</ReportDestination>"
           "<StartDate>%04d-%02d-%02dT00:00:00</StartDate><EndDate>%04d-%02d-%02dT23:59:59</EndDate></EJReport>",
           now.wYear, now.wMonth, now.wDay, now.wYear, now.wMonth, now.wDay);
  a = step("EJREPORT", journal);
  check(strstr(a.output, "DOCUMENTO COMMERCIALE") != NULL, "EJREPORT reads the receipt from the journal", "");
  release(&a);

  a = step("CLOSE", "");
  char* log = element(a.output, "LogFileName");
  check(*log != 0, "CLOSE names the device log", log);
  free(log);
  release(&a);

done:
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
