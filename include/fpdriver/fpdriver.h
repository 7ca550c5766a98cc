/*
 * fpdriver: fiscal printer driver, the C interface of libfpdriver.
 *
 * Usable from C (C11) and C++. The library exports the 22 operations below and the four
 * system string functions, nothing else.
 *
 * Rules of the interface
 *
 *  Strings. Every text crossing the interface is a BSTR: a pointer to UTF-16 code units,
 *    preceded by a 32-bit count of the bytes that follow (the terminator excluded) and
 *    followed by a 16-bit zero. Create them with SysAllocString / SysAllocStringLen and
 *    free them with SysFreeString, all from this library. A null BSTR reads as an empty
 *    text. The length prefix, not the first zero unit, gives the length of an input.
 *
 *  Ownership. The caller owns aXml and keeps it; the library only reads it during the
 *    call. *aOutput and *aErrorMessage receive new strings that the caller owns and frees
 *    with SysFreeString. On entry the library stores null in each of them; a value that
 *    was there is neither read nor freed (free it before the call if you own one). A null
 *    aOutput or aErrorMessage is skipped: that output is not produced.
 *
 *  Requests. aXml is an XML document with the root element ReceiptPrinterManager (for
 *    VERSION: a plain driver name). A null aXml is an empty request. Requests longer than
 *    FPDRIVER_MAX_REQUEST_CHARS code units, and texts that are not valid UTF-16 (a lone
 *    surrogate), are refused with an error.
 *
 *  Result. Every operation but VERSION returns 0 on success and -1 on failure; -1 exactly
 *    when the <Error> element of the result fragment is True. *aOutput then holds the
 *    result fragment (XML elements without declaration or root, CR LF between most of
 *    them, ending with <Error>, <ErrorText> and <LogFileName>); *aErrorMessage holds the
 *    error text unescaped (empty text on success). The 16-bit result is zero-extended into
 *    the 32-bit return register: a host reading 32 bits sees 0 or 65535.
 *    VERSION returns 0 always; *aOutput is the version text when the name is a registered
 *    driver, null otherwise; *aErrorMessage stays null.
 *    No operation raises anything across this interface; every failure comes back through
 *    the result.
 *
 *  Threads. Any operation may be called from any thread. Calls naming the same device
 *    (the same Handle) run one at a time, in the order they acquire the device; calls on
 *    different devices run in parallel. A call waits at most ten minutes for the device,
 *    then fails with "Fiscal Printer is busy with another request". CLOSE racing another
 *    call on the same handle is safe: the other call either finishes first or reports
 *    "Printer Handle not found".
 *
 *  Calling convention: __stdcall on 32-bit Windows, the platform's C convention elsewhere.
 */
#ifndef FPDRIVER_FPDRIVER_H
#define FPDRIVER_FPDRIVER_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define FPDRIVER_CALL __stdcall
#else
#define FPDRIVER_CALL
#endif

#if defined(_WIN32)
#if defined(FPDRIVER_BUILDING_LIBRARY)
/* The DLL's module-definition file names the exports: marking them dllexport as well would
   also export the decorated __stdcall names (NAME@12) on x86. */
#define FPDRIVER_API
#else
#define FPDRIVER_API __declspec(dllimport)
#endif
#else
#define FPDRIVER_API __attribute__((visibility("default")))
#endif

/* Longest accepted request, in UTF-16 code units. */
#define FPDRIVER_MAX_REQUEST_CHARS (16u * 1024u * 1024u)

#if defined(_WIN32)
#include <windows.h>
#include <oleauto.h>
#else
#ifdef __cplusplus
typedef char16_t OLECHAR;
#else
typedef uint_least16_t OLECHAR; /* the type of C11's char16_t */
#endif
typedef OLECHAR* BSTR;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Inside the library the 16-bit result is returned zero-extended as a 32-bit value, so
   that hosts reading either width see the documented values; hosts declare int16_t. */
#if defined(FPDRIVER_BUILDING_LIBRARY)
typedef uint32_t fpdriver_result_t;
#else
typedef int16_t fpdriver_result_t;
#endif

#define FPDRIVER_EXPORT(name) \
  FPDRIVER_API fpdriver_result_t FPDRIVER_CALL name(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage)

FPDRIVER_EXPORT(PRINTFR);              /* fiscal receipt (Receipt) */
FPDRIVER_EXPORT(REPRINTFR);            /* reprint of an earlier receipt (ReceiptReference) */
FPDRIVER_EXPORT(PRINTXR);              /* X report (XReport) */
FPDRIVER_EXPORT(PRINTZR);              /* Z report, closing the fiscal day (ZReport) */
FPDRIVER_EXPORT(PRINTNFR);             /* non-fiscal document (NFReceipt) */
FPDRIVER_EXPORT(DISPLAY);              /* customer display (Display) */
FPDRIVER_EXPORT(OPENDR);               /* open the cash drawer (Drawer) */
FPDRIVER_EXPORT(GETSTATUS);            /* printer status */
FPDRIVER_EXPORT(SET);                  /* printer settings (Parameters) */
FPDRIVER_EXPORT(SETDATETIME);          /* set the printer clock */
FPDRIVER_EXPORT(OPEN);                 /* open a device; the result carries its Handle */
FPDRIVER_EXPORT(GETDRSTATUS);          /* cash drawer status (Drawer) */
FPDRIVER_EXPORT(EJREPORT);             /* electronic journal extract (EJReport) */
FPDRIVER_EXPORT(CLOSE);                /* close a device and free its handle */
FPDRIVER_EXPORT(GETVATTABLE);          /* read the VAT table */
FPDRIVER_EXPORT(SETVATTABLE);          /* program the VAT table (VATTable) */
FPDRIVER_EXPORT(GETDEPTTABLE);         /* read the department table */
FPDRIVER_EXPORT(SETDEPTTABLE);         /* program the department table (DeptTable) */
FPDRIVER_EXPORT(PAY);                  /* electronic payment (Payment) */
FPDRIVER_EXPORT(GETLOTTERYRCPTSTATUS); /* lottery status of a receipt (ReceiptReference) */
FPDRIVER_EXPORT(GETEJFILES);           /* journal files extraction (EJRequest) */
FPDRIVER_EXPORT(VERSION);              /* version text of a registered driver name */

#undef FPDRIVER_EXPORT

#if !defined(_WIN32)
/* The system string functions, with their Windows behaviour. */
FPDRIVER_API BSTR SysAllocString(const OLECHAR* aText);          /* null for a null aText */
FPDRIVER_API BSTR SysAllocStringLen(const OLECHAR* aText, unsigned int aLength); /* aText may be null */
FPDRIVER_API void SysFreeString(BSTR aText);                     /* null is ignored */
FPDRIVER_API unsigned int SysStringLen(BSTR aText);              /* code units; 0 for null */
#endif

#ifdef __cplusplus
}
#endif

#endif /* FPDRIVER_FPDRIVER_H */
