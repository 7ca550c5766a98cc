"""sale.py: a sale from Python through fpdriver.py.

    python3 sale.py http://192.168.1.50/ [LIBRARY]

LIBRARY defaults to libfpdriver.so.1 from the loader's search path.
"""

import sys

from fpdriver import FiscalPrinterError, Library, Printer

SALE = """
<Receipt>
  <Type>Sale</Type>
  <Lines>
    <ProductSale><Description>Caffe espresso</Description><Quantity>2</Quantity>
      <Price>1.20</Price><Amount>2.40</Amount><Department>1</Department></ProductSale>
  </Lines>
  <Taxes/>
  <Payments><Payment><Type>Cash</Type><Amount>5.00</Amount></Payment></Payments>
</Receipt>
"""


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    library = Library(sys.argv[2]) if len(sys.argv) == 3 else Library()
    print("driver version:", library.version())
    try:
        with Printer(sys.argv[1], library=library, log_id="python") as printer:
            status = printer.getstatus()
            print("fiscal mode %s, day open %s" % (status["FiscalMode"], status["DayOpened"]))
            receipt = printer.printfr(SALE, {"GetReceiptText": True})
            print("receipt %s of %s" % (receipt["ReceiptNumber"], receipt["ReceiptDateTime"]))
            print(receipt["ReceiptText"])
    except FiscalPrinterError as error:
        print("the printer refused:", error.text, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
