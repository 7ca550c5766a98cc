/*
 * sale.c: a point-of-sale host linked against libfpdriver.
 *
 *   cc sale.c $(pkg-config --cflags --libs fpdriver) -o sale
 *   ./sale http://192.168.1.50/ [LOG-ID]
 *
 * Opens the printer at the URL, reads its status, prints a sale receipt and closes the
 * device. Each answer is shown; the program stops at the first call that fails. LOG-ID
 * (default "example", UTF-8, any characters a file name may hold) names the device log,
 * which every answer shows in LogFileName.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fpdriver/fpdriver.h>

/* UTF-8 to a system string (UTF-16): a character beyond U+FFFF (4 bytes in UTF-8, an emoji
 * for instance) takes two units, a surrogate pair. A cut or broken sequence ends the text. */
static BSTR ToBstr(const char *text) {
  size_t n = strlen(text), count = 0;
  OLECHAR *units = malloc((n + 1) * sizeof *units);
  if (units == NULL) return NULL;
  for (size_t i = 0; i < n;) {
    unsigned char c = (unsigned char)text[i];
    unsigned long cp;
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > n) break;
    cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | ((unsigned char)text[i + k] & 0x3Fu);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units[count++] = (OLECHAR)(0xD800 + (cp >> 10));
      units[count++] = (OLECHAR)(0xDC00 + (cp & 0x3FF));
    } else {
      units[count++] = (OLECHAR)cp;
    }
  }
  BSTR result = SysAllocStringLen(units, (unsigned)count);
  free(units);
  return result;
}

/* A system string written to standard output as UTF-8; a surrogate pair is one character. */
static void Print(BSTR text) {
  unsigned n = text != NULL ? SysStringLen(text) : 0;
  for (unsigned i = 0; i < n; ++i) {
    unsigned long c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    if (c < 0x80) {
      putchar((int)c);
    } else if (c < 0x800) {
      putchar((int)(0xC0 | (c >> 6)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      putchar((int)(0xE0 | (c >> 12)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else {
      putchar((int)(0xF0 | (c >> 18)));
      putchar((int)(0x80 | ((c >> 12) & 0x3F)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    }
  }
}

typedef int16_t(FPDRIVER_CALL *Export)(BSTR, BSTR *, BSTR *);

/* Calls one export and shows its answer; copies the Handle element to aHandle when asked. */
static int Call(const char *name, Export fn, const char *request, char *aHandle, size_t aSize) {
  BSTR xml = ToBstr(request);
  BSTR output = NULL, error = NULL;
  int16_t result = fn(xml, &output, &error);
  printf("== %s: %s\n", name, result == 0 ? "ok" : "FAILED");
  Print(output);
  printf("\n");
  if (aHandle != NULL && output != NULL) {
    /* The fragment holds <Handle>n</Handle>; the digits are ASCII. */
    size_t j = 0;
    for (unsigned i = 0; i + 8 < SysStringLen(output); ++i) {
      if (output[i] == '<' && output[i + 1] == 'H' && output[i + 7] == '>') {
        for (i += 8; i < SysStringLen(output) && output[i] != '<' && j + 1 < aSize; ++i) aHandle[j++] = (char)output[i];
        break;
      }
    }
    aHandle[j] = '\0';
  }
  SysFreeString(output);
  SysFreeString(error);
  SysFreeString(xml);
  return result == 0;
}

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: %s PRINTER-URL [LOG-ID]\n", argv[0]);
    return 2;
  }
  const char *logId = argc == 3 ? argv[2] : "example";
  char request[4096], handle[16];
  snprintf(request, sizeof request,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>%s</LogId>"
           "<Connection><Type>HTTP</Type><URL>%s</URL></Connection></ReceiptPrinterManager>",
           logId, argv[1]);
  if (!Call("OPEN", OPEN, request, handle, sizeof handle)) return 1;

  snprintf(request, sizeof request,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>%s</Handle>"
           "</ReceiptPrinterManager>",
           handle);
  int ok = Call("GETSTATUS", GETSTATUS, request, NULL, 0);

  char sale[4096];
  snprintf(sale, sizeof sale,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><Handle>%s</Handle>"
           "<Receipt><Type>Sale</Type><Lines>"
           "<ProductSale><Description>Caffe espresso</Description><Quantity>2</Quantity>"
           "<Price>1.20</Price><Amount>2.40</Amount><Department>1</Department></ProductSale>"
           "</Lines><Taxes/>"
           "<Payments><Payment><Type>Cash</Type><Amount>5.00</Amount></Payment></Payments>"
           "</Receipt></ReceiptPrinterManager>",
           handle);
  ok = ok && Call("PRINTFR", PRINTFR, sale, NULL, 0);

  ok = Call("CLOSE", CLOSE, request, NULL, 0) && ok;
  return ok ? 0 : 1;
}
