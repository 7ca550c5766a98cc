"""The ctypes module of examples/python against the printer emulator at $FPEMU_URL, with the
library at $FPDRIVER_LIB."""

import os
import unittest

from fpdriver import FiscalPrinterError, Library, Printer

SALE = ("<Receipt><Type>Sale</Type><Lines><ProductSale><Description>TÈ &amp; biscotti</Description>"
        "<Quantity>1</Quantity><Price>3.50</Price><Amount>3.50</Amount><Department>1</Department>"
        "</ProductSale></Lines><Taxes/><Payments><Payment><Type>Cash</Type><Amount>5</Amount></Payment>"
        "</Payments></Receipt>")


class PrinterTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.library = Library(os.environ["FPDRIVER_LIB"])

    def test_a_day_through_the_methods(self):
        with Printer(os.environ["FPEMU_URL"], library=self.library) as printer:
            self.assertGreater(printer.handle, 0)
            self.assertEqual(printer.getstatus()["FiscalMode"], "RT")
            receipt = printer.printfr(SALE, {"GetReceiptText": True})
            self.assertEqual(receipt["ReceiptNumber"], "1")
            # Python text both ways: the request's accent and ampersand reach the printer (which
            # prints them in its own way) and the printer's euro sign comes back.
            self.assertIn("TE - biscotti", receipt["ReceiptText"])
            self.assertIn("Prezzo(€)", receipt["ReceiptText"])
            report = printer.printzr("<ZReport/>")
            self.assertEqual(report["DayTotalAmount"], "3.5")
            self.assertTrue(any("AZZERAMENTO" in line for line in report.lines("Text")))
        self.assertEqual(printer.handle, 0)

    def test_a_refusal_raises_with_the_error_text(self):
        with Printer(os.environ["FPEMU_URL"], library=self.library) as printer:
            cases = [
                (printer.printfr, "", "Receipt node not found"),
                (printer.pay, "<Payment><PrintLocation>eft</PrintLocation></Payment>",
                 "Payment Location eft invalid. Allowed values are: ECR,EFT."),
            ]
            for method, document, text in cases:
                with self.assertRaises(FiscalPrinterError) as caught:
                    method(document)
                self.assertEqual(caught.exception.text, text)
                self.assertEqual(caught.exception.result.code, -1)
                self.assertEqual(caught.exception.result["Error"], "True")

    def test_version_and_unknown_driver(self):
        self.assertTrue(Printer(os.environ["FPEMU_URL"], library=self.library).version())
        self.assertIsNone(self.library.version("NO_SUCH_DRIVER"))


if __name__ == "__main__":
    unittest.main()
