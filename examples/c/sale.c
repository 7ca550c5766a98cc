/*
 * sale.c: a point-of-sale host linked against libfpdriver.
 *
 *   cc sale.c $(pkg-config --cflags --libs fpdriver) -o sale
 *   ./sale http://192.168.1.50/
 *
 * Opens the printer at the URL, reads its status, prints a sale receipt and closes the
 * device. Each answer is shown; the program stops at the first call that fails.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fpdriver/fpdriver.h>

/* UTF-8 (here plain ASCII and Latin letters) to a system string. */
static BSTR ToBstr(const char *text) {
  size_t n = strlen(text), count = 0;
  OLECHAR *units = malloc((n + 1) * sizeof *units);
  for (size_t i = 0; i < n; ++count) {
    unsigned char c = (unsigned char)text[i];
    if (c < 0x80) {
      units[count] = c;
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < n) {
      units[count] = (OLECHAR)(((c & 0x1F) << 6) | (text[i + 1] & 0x3F));
      i += 2;
    } else if (i + 2 < n) {
      units[count] = (OLECHAR)(((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F));
      i += 3;
    } else {
      break;
    }
  }
  BSTR result = SysAllocStringLen(units, (unsigned)count);
  free(units);
  return result;
}

/* A system string written to standard output as UTF-8. */
static void Print(BSTR text) {
  for (unsigned i = 0; text != NULL && i < SysStringLen(text); ++i) {
    unsigned c = text[i];
    if (c < 0x80) {
      putchar((int)c);
    } else if (c < 0x800) {
      putchar((int)(0xC0 | (c >> 6)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else {
      putchar((int)(0xE0 | (c >> 12)));
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
  if (argc != 2) {
    fprintf(stderr, "usage: %s PRINTER-URL\n", argv[0]);
    return 2;
  }
  char request[4096], handle[16];
  snprintf(request, sizeof request,
           "<ReceiptPrinterManager><Driver>VNRP_TARVOLX40FPETH_10</Driver><LogId>example</LogId>"
           "<Connection><Type>HTTP</Type><URL>%s</URL></Connection></ReceiptPrinterManager>",
           argv[1]);
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
