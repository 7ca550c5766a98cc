// The exports that take an XML request (all but VERSION), listed once, in the order of the
// interface. The enum vnExport, the export profiles, the request objects' factory and the
// exported functions are all expanded from this list, so they cannot fall out of step; an
// export added here without its device operation, result record or request class does not
// compile. (The public header and the version script name the exports by hand: the ABI
// tests compare them with the library.)
//
// One row per export:
//   X(name, device operation, request class, create, greek, cp, keep, documents...)
// request class: Plain for the common request object, Own for one written out by hand
//   (kFiscalPrinterWrapper_<name>, with steps of its own);
// create: a request without handle creates a new device;
// greek: on code page 1253 the text kept for the processor gets an ISO-8859-7 declaration;
// cp: Parameters/CP re-encodes the request before it is read;
// keep: the request holder keeps the request text for the processor library;
// documents: what is read from the request besides the device section.
#pragma once

#define FP_EXPORT_LIST(X)                                                                  \
  X(PRINTFR, Pub_PrintReceipt, Plain, false, true, true, true, dt_Receipt)                 \
  X(REPRINTFR, Pub_RePrintReceipt, Plain, false, true, true, true, dt_ReceiptReference)    \
  X(PRINTXR, Pub_PrintXReport, Plain, false, false, true, true, dt_XReport)                \
  X(PRINTZR, Pub_PrintZReport, Plain, false, true, true, true, dt_ZReport)                 \
  X(PRINTNFR, Pub_PrintNFReceipt, Plain, false, false, true, false, dt_NFReceipt)          \
  X(DISPLAY, Pub_WriteDisplay, Plain, false, false, false, false, dt_Display)              \
  X(OPENDR, Pub_OpenDrawer, Plain, false, false, false, false, dt_Drawer)                  \
  X(GETSTATUS, Pub_GetStatus, Plain, false, false, false, true)                            \
  X(SET, Pub_Set, Plain, false, false, false, false)                                       \
  X(SETDATETIME, Pub_SetDateTime, Plain, false, false, false, false)                       \
  X(OPEN, Pub_Open, Own, true, false, false, true)                                         \
  X(GETDRSTATUS, Pub_GetDrawerStatus, Plain, false, false, false, false, dt_Drawer)        \
  X(EJREPORT, Pub_EJReport, Plain, false, false, false, false, dt_EJReport)                \
  X(CLOSE, Pub_Close, Own, false, false, false, false)                                     \
  X(GETVATTABLE, Pub_GetVatTable, Plain, false, false, false, false)                       \
  X(SETVATTABLE, Pub_SetVatTable, Plain, false, false, false, false, dt_VatTable)          \
  X(GETDEPTTABLE, Pub_GetDeptTable, Plain, false, false, false, false)                     \
  X(SETDEPTTABLE, Pub_SetDeptTable, Plain, false, false, false, false, dt_DeptTable)       \
  X(PAY, Pub_Pay, Own, true, false, false, false, dt_Pay)                                  \
  X(GETLOTTERYRCPTSTATUS, Pub_GetLotteryReceiptStatus, Plain, false, false, false, false, \
    dt_ReceiptReference)                                                                   \
  X(GETEJFILES, Pub_GetEJFiles, Plain, false, false, false, false, dt_EJFilesRequest)
