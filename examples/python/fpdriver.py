"""fpdriver.py: libfpdriver from Python through ctypes.

    from fpdriver import Printer, FiscalPrinterError

    with Printer("http://192.168.1.50/") as printer:      # OPEN ... CLOSE
        status = printer.getstatus()
        print(status["FiscalMode"], status["DayOpened"])
        result = printer.printfr("<Receipt>...</Receipt>")
        print(result["ReceiptNumber"])

OPEN, CLOSE and VERSION are open(), close() and version(); every other export is a method
named after it in lower case (printfr, printzr, getvattable, ...). A method takes the document element of the request
(for instance "<Receipt>...</Receipt>") and optional parameters as a dict; the device
section is added from the Printer. It returns a Result, which reads the result fragment's
elements by name, and raises FiscalPrinterError with the error text when the export
returns -1. Strings cross the interface as system strings made and freed by the library
(SysAllocStringLen, SysFreeString).
"""

import ctypes
import re
from xml.sax.saxutils import escape

DRIVER = "VNRP_TARVOLX40FPETH_10"

# Exports that take a request, besides OPEN and CLOSE.
EXPORTS = (
    "PRINTFR", "REPRINTFR", "PRINTXR", "PRINTZR", "PRINTNFR", "DISPLAY", "OPENDR",
    "GETSTATUS", "SET", "SETDATETIME", "GETDRSTATUS", "EJREPORT", "GETVATTABLE",
    "SETVATTABLE", "GETDEPTTABLE", "SETDEPTTABLE", "PAY", "GETLOTTERYRCPTSTATUS",
    "GETEJFILES",
)


class FiscalPrinterError(Exception):
    """An export returned -1. `text` is its ErrorText, `result` the whole answer."""

    def __init__(self, export, result):
        super().__init__("%s failed: %s" % (export, result.error_text))
        self.export = export
        self.text = result.error_text
        self.result = result


class Result:
    """An export's answer: the return value, the result fragment and the error text.

    result["Name"] is the unescaped text of the first element Name of the fragment (KeyError
    when there is none); lines("Text") the Line elements inside it.
    """

    def __init__(self, code, fragment, error_text):
        self.code = code
        self.fragment = fragment
        self.error_text = error_text

    @property
    def ok(self):
        return self.code == 0

    def __getitem__(self, name):
        match = re.search(r"<%s>(.*?)</%s>" % (name, name), self.fragment, re.S)
        if match is None:
            raise KeyError(name)
        return _unescape(match.group(1))

    def get(self, name, default=None):
        try:
            return self[name]
        except KeyError:
            return default

    def lines(self, name="Text"):
        inner = re.search(r"<%s>(.*?)</%s>" % (name, name), self.fragment, re.S)
        if inner is None:
            return []
        return [_unescape(line) for line in re.findall(r"<Line>(.*?)</Line>", inner.group(1), re.S)]

    def __repr__(self):
        return "Result(code=%d, error_text=%r)" % (self.code, self.error_text)


def _unescape(text):
    for entity, char in (("&lt;", "<"), ("&gt;", ">"), ("&quot;", '"'), ("&apos;", "'"), ("&amp;", "&")):
        text = text.replace(entity, char)
    return text


class Library:
    """libfpdriver loaded with ctypes; call(name, text) runs one export."""

    def __init__(self, path="libfpdriver.so.1"):
        self._lib = ctypes.CDLL(path)
        self._alloc = self._lib.SysAllocStringLen
        self._alloc.restype = ctypes.c_void_p
        self._alloc.argtypes = [ctypes.c_void_p, ctypes.c_uint]
        self._free = self._lib.SysFreeString
        self._free.restype = None
        self._free.argtypes = [ctypes.c_void_p]
        self._len = self._lib.SysStringLen
        self._len.restype = ctypes.c_uint
        self._len.argtypes = [ctypes.c_void_p]

    def _to_bstr(self, text):
        data = text.encode("utf-16-le")
        buffer = ctypes.create_string_buffer(data, len(data))
        bstr = self._alloc(buffer, len(data) // 2)
        if not bstr:
            raise MemoryError("SysAllocStringLen failed")
        return bstr

    def _from_bstr(self, bstr):
        if not bstr:
            return None
        return ctypes.string_at(bstr, self._len(bstr) * 2).decode("utf-16-le", errors="replace")

    def call(self, name, text):
        """Runs export `name` with request `text`; returns (code, output or None, error)."""
        fn = getattr(self._lib, name)
        fn.restype = ctypes.c_int16
        fn.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_void_p)]
        request = self._to_bstr(text)
        output, error = ctypes.c_void_p(), ctypes.c_void_p()
        try:
            code = fn(request, ctypes.byref(output), ctypes.byref(error))
            return code, self._from_bstr(output.value), self._from_bstr(error.value) or ""
        finally:
            self._free(output.value)
            self._free(error.value)
            self._free(request)

    def version(self, driver=DRIVER):
        """The driver's version text, or None when the name is not registered."""
        return self.call("VERSION", driver)[1]


class Printer:
    """One device of the library: open() gives it a handle, close() frees it."""

    def __init__(self, url, library=None, driver=DRIVER, log_id="", user=None, password=None,
                 auth_type=None, read_timeout_ms=None):
        self.library = library if isinstance(library, Library) else Library(library or "libfpdriver.so.1")
        self.url = url
        self.driver = driver
        self.log_id = log_id
        self.user, self.password, self.auth_type = user, password, auth_type
        self.read_timeout_ms = read_timeout_ms
        self.handle = 0

    def _request(self, body="", parameters=None, connection=False):
        parts = ["<ReceiptPrinterManager><Driver>%s</Driver>" % escape(self.driver)]
        if self.handle:
            parts.append("<Handle>%d</Handle>" % self.handle)
        if self.log_id:
            parts.append("<LogId>%s</LogId>" % escape(self.log_id))
        if connection:
            parts.append("<Connection><Type>HTTP</Type><URL>%s</URL>" % escape(self.url))
            if self.auth_type:
                parts.append("<AuthType>%s</AuthType>" % escape(self.auth_type))
            if self.user is not None:
                parts.append("<User>%s</User><Password>%s</Password>"
                             % (escape(self.user), escape(self.password or "")))
            if self.read_timeout_ms:
                parts.append("<ReadTimeout>%d</ReadTimeout>" % self.read_timeout_ms)
            parts.append("</Connection>")
        if parameters:
            parts.append("<Parameters>")
            for name, value in parameters.items():
                if isinstance(value, bool):
                    value = "true" if value else "false"
                parts.append("<%s>%s</%s>" % (name, escape(str(value)), name))
            parts.append("</Parameters>")
        parts.append(body)
        parts.append("</ReceiptPrinterManager>")
        return "".join(parts)

    def _run(self, export, text):
        code, output, error = self.library.call(export, text)
        result = Result(code, output or "", error)
        if code != 0:
            raise FiscalPrinterError(export, result)
        return result

    def open(self, parameters=None):
        result = self._run("OPEN", self._request(parameters=parameters, connection=True))
        self.handle = int(result["Handle"])
        return result

    def close(self):
        if not self.handle:
            return None
        try:
            return self._run("CLOSE", self._request())
        finally:
            self.handle = 0  # CLOSE frees the device even when it reports an error

    def version(self):
        """VERSION: the version text of this printer's driver."""
        return self.library.version(self.driver)

    def __enter__(self):
        self.open()
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def _export_method(export):
    def method(self, document="", parameters=None):
        return self._run(export, self._request(document, parameters))

    method.__name__ = export.lower()
    method.__doc__ = "Runs %s with the document element `document` and `parameters`." % export
    return method


for _export in EXPORTS:
    setattr(Printer, _export.lower(), _export_method(_export))
