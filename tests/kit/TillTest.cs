// The C# binding against the library and a printer emulator:  mono till_test.exe URL
// Prints one line per failed check and exits 1 when any failed.
using System;
using System.Globalization;
using System.Threading;
using FpDriver;

static class TillTest
{
    static int failures;

    static void Check(bool aCondition, string aWhat)
    {
        if (aCondition) return;
        Console.WriteLine("FAILED: " + aWhat);
        ++failures;
    }

    static void Equal(string aExpected, string aActual, string aWhat)
    {
        Check(aExpected == aActual, aWhat + ": expected [" + aExpected + "], got [" + (aActual ?? "null") + "]");
    }

    static FiscalPrinterException Refused(Action aCall)
    {
        try
        {
            aCall();
        }
        catch (FiscalPrinterException e)
        {
            return e;
        }
        return null;
    }

    static int Main(string[] args)
    {
        string url = args[0];
        // Requests carry "." as decimal separator whatever the host's culture says.
        Thread.CurrentThread.CurrentCulture = new CultureInfo("de-DE");

        // Text crosses both ways intact: characters beyond Latin-1 and a surrogate pair go in
        // with the request and come back in the error text, escaped in the fragment.
        string name = "Stampante \u20ac \U0001D11E <&>";
        Result unknown = Driver.Call(Native.OPEN, "<ReceiptPrinterManager>" + Xml.Element("Driver", name) +
                                     "</ReceiptPrinterManager>");
        Check(unknown.Code == -1 && !unknown.Ok, "an unknown driver answers -1");
        Equal("Fiscal Printer Driver [" + name + "] not registered.", unknown.ErrorText, "error text");
        Equal(unknown.ErrorText, unknown["ErrorText"], "the fragment's ErrorText, unescaped");
        Equal("True", unknown["Error"], "the fragment's Error");

        Check(Driver.Version("NO_SUCH_DRIVER") == null, "VERSION of an unknown driver gives no text");
        Check((Driver.Version() ?? "").StartsWith("Version "), "VERSION of the driver");

        int handle;
        using (var till = new Till(url, "csharp-test"))
        {
            handle = till.Handle;
            Check(handle > 0, "OPEN gives a handle");
            Status status = till.Status();
            Equal("RT", status.FiscalMode, "fiscal mode");
            Check(status.Clock.HasValue, "the printer clock reads as a date");

            var lines = new[] { new SaleLine("Caffe espresso", 2, 1.20m, 1), new SaleLine("Cornetto", 1, 1.35m, 2) };
            Receipt sale = till.Sale(lines, new[] { new Payment(PaymentType.Cash, 3.75m) });
            Equal("1", sale.Number, "sale number");
            Equal("", sale.Warning, "sale warning");
            Check(sale.PrintedAt.HasValue && sale.ClosingNumber != "", "sale date and closing");

            // A refund past what the original sold is the printer's refusal, read back whole.
            FiscalPrinterException tooMuch = Refused(() => till.Refund(
                sale, new[] { new SaleLine("Caffe espresso", 10, 1.20m, 1) },
                new[] { new Payment(PaymentType.Cash, 12.00m) }));
            Check(tooMuch != null, "a refund past the original is refused");
            if (tooMuch != null)
            {
                Equal("PRINTFR", tooMuch.Export, "refused export");
                Check(tooMuch.ErrorText.Contains("Exceed the total of the Receipt"), "refusal text: " + tooMuch.ErrorText);
                Equal(tooMuch.ErrorText, tooMuch.Result["ErrorText"], "refusal in the fragment");
                Check(tooMuch.Result.Code == -1, "refusal answers -1");
            }

            Receipt refund = till.Refund(sale, new[] { new SaleLine("Caffe espresso", 1, 1.20m, 1) },
                                         new[] { new Payment(PaymentType.Cash, 1.20m) });
            Equal("2", refund.Number, "refund number");
            Equal(sale.ClosingNumber, refund.ClosingNumber, "refund closing");

            Report x = till.XReport();
            Equal("2", x.Number, "X report number: the day's last document");
            Check(x.TakenAt.HasValue, "X report date");

            // The generic call: any export by name, with parameters.
            Result text = till.Call("PRINTFR", "<Receipt><Type>Sale</Type><Lines><ProductSale>" +
                                    Xml.Element("Description", "Acqua & limone") +
                                    "<Quantity>1</Quantity><Price>0.80</Price><Amount>0.80</Amount><Department>1</Department>" +
                                    "</ProductSale></Lines><Taxes/><Payments/></Receipt>",
                                    "<GetReceiptText>true</GetReceiptText>");
            // The escaped "&" kept the request whole: the line reached the printer.
            string printed = text["ReceiptText"] ?? "";
            Check(printed.Contains("Acqua") && printed.Contains("limone"), "receipt text: " + printed);
            bool named = false;
            try { till.Call("Printfr", ""); } catch (ArgumentException) { named = true; }
            Check(named, "an export is named exactly");
        }

        // CLOSE freed the device: its handle is gone.
        Result gone = Driver.Call(Native.GETSTATUS, "<ReceiptPrinterManager>" + Xml.Element("Handle", handle.ToString()) +
                                  "</ReceiptPrinterManager>");
        Equal("Printer Handle not found", gone.ErrorText, "the closed handle");
        return failures == 0 ? 0 : 1;
    }
}
