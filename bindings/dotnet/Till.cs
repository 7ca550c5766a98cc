// Till.cs: one fiscal printer with typed calls, over FpDriver.cs.
//
//   using (var till = new FpDriver.Till("http://192.168.1.50/"))                 // OPEN
//   {
//       var sale = till.Sale(new[] { new SaleLine("Caffe espresso", 2, 1.20m, 1) },
//                            new[] { new Payment(PaymentType.Cash, 5m) });
//       Console.WriteLine(sale.Number + " of closing " + sale.ClosingNumber);
//   }                                                                            // CLOSE (Dispose)
//
// A call the printer or the driver refuses throws FiscalPrinterException with the error
// text; Call runs any export with the document element written by the host.
using System;
using System.Collections.Generic;
using System.Text;

namespace FpDriver
{
    public enum PaymentType { Cash, Cheque, DebitCard, CreditCard, Credit, MealVoucher, Voucher, GiftCard }

    /// <summary>One sale line: Amount is Quantity x Price unless given.</summary>
    public sealed class SaleLine
    {
        public string Description { get; }
        public decimal Quantity { get; }
        public decimal Price { get; }
        public decimal Amount { get; }
        public int Department { get; }

        public SaleLine(string aDescription, decimal aQuantity, decimal aPrice, int aDepartment, decimal? aAmount = null)
        {
            Description = aDescription;
            Quantity = aQuantity;
            Price = aPrice;
            Department = aDepartment;
            Amount = aAmount ?? decimal.Round(aQuantity * aPrice, 2, MidpointRounding.AwayFromZero);
        }
    }

    public sealed class Payment
    {
        public PaymentType Type { get; }
        public decimal Amount { get; }

        public Payment(PaymentType aType, decimal aAmount)
        {
            Type = aType;
            Amount = aAmount;
        }
    }

    /// <summary>A printed receipt as the printer numbers it.</summary>
    public sealed class Receipt
    {
        public string Number { get; }
        public string ClosingNumber { get; }
        public DateTime? PrintedAt { get; }
        public string SerialNumber { get; }
        /// <summary>A note for the operator (a receipt confirmed after a lost answer, ...); may be empty.</summary>
        public string Message { get; }
        /// <summary>Non-empty when the receipt was printed but something around it failed (a number not read).</summary>
        public string Warning { get; }
        public Result Result { get; }

        internal Receipt(Result aResult)
        {
            Result = aResult;
            Number = aResult["ReceiptNumber"];
            ClosingNumber = aResult["EJClosingNumber"];
            PrintedAt = aResult.Date("ReceiptDateTime");
            SerialNumber = aResult["DeviceSerialNumber"];
            Message = aResult["MessageText"] ?? "";
            Warning = aResult.ErrorText;
        }
    }

    public sealed class Status
    {
        public string FiscalMode { get; }
        public bool DayOpened { get; }
        public bool PaperEnd { get; }
        public bool ReceiptOpen { get; }
        public string SerialNumber { get; }
        public DateTime? Clock { get; }

        internal Status(Result aResult)
        {
            FiscalMode = aResult["FiscalMode"];
            DayOpened = aResult.Boolean("DayOpened");
            PaperEnd = aResult.Boolean("PaperEnd");
            ReceiptOpen = aResult.Boolean("FiscalReceiptOpen");
            SerialNumber = aResult["SerialNumber"];
            Clock = aResult.Date("DateTime");
        }
    }

    /// <summary>An X or Z report: its number, when it was taken, and (Z) the day's totals.</summary>
    public sealed class Report
    {
        public string Number { get; }
        public DateTime? TakenAt { get; }
        public string ClosingNumber { get; }
        public Result Result { get; }

        internal Report(Result aResult, string aKind)
        {
            Result = aResult;
            Number = aResult[aKind + "ReportNumber"];
            TakenAt = aResult.Date(aKind + "ReportDateTime");
            ClosingNumber = aResult["EJClosingNumber"];
        }
    }

    /// <summary>One device of the library: the constructor opens it, Dispose closes it.</summary>
    public sealed class Till : IDisposable
    {
        public string Url { get; }
        public string LogId { get; }
        public int Handle { get; private set; }

        /// <summary>Opens the printer at aUrl (OPEN); aLogId names its log file.</summary>
        public Till(string aUrl, string aLogId = "", string aUser = null, string aPassword = null)
        {
            if (aUrl == null) throw new ArgumentNullException("aUrl");
            Url = aUrl;
            LogId = aLogId ?? "";
            var connection = new StringBuilder("<Connection><Type>HTTP</Type>");
            connection.Append(Xml.Element("URL", aUrl));
            if (aUser != null) connection.Append(Xml.Element("User", aUser)).Append(Xml.Element("Password", aPassword));
            connection.Append("</Connection>");
            Result opened = Run("OPEN", Native.OPEN, connection.ToString());
            Handle = opened.Integer("Handle");
        }

        /// <summary>The printer's status (GETSTATUS).</summary>
        public Status Status() { return new Status(Call("GETSTATUS", "")); }

        /// <summary>A sale receipt (PRINTFR).</summary>
        public Receipt Sale(IEnumerable<SaleLine> aLines, IEnumerable<Payment> aPayments)
        {
            return new Receipt(Call("PRINTFR", ReceiptDocument("Sale", "", aLines, aPayments)));
        }

        /// <summary>A refund of an earlier receipt of this printer, named by its number, closing and date.</summary>
        public Receipt Refund(Receipt aOriginal, IEnumerable<SaleLine> aLines, IEnumerable<Payment> aPayments)
        {
            string reference = "<References><OriginalReceipt>" +
                Xml.Element("ReceiptDateTime", Xml.Date(aOriginal.PrintedAt ?? DateTime.Now)) +
                Xml.Element("ReceiptNumber", aOriginal.Number) +
                Xml.Element("EJClosingNumber", aOriginal.ClosingNumber) +
                "</OriginalReceipt></References>";
            return new Receipt(Call("PRINTFR", ReceiptDocument("Refund", reference, aLines, aPayments)));
        }

        /// <summary>The X report (PRINTXR): the day so far, the day stays open.</summary>
        public Report XReport() { return new Report(Call("PRINTXR", "<XReport/>"), "X"); }

        /// <summary>The Z report (PRINTZR): closes the fiscal day.</summary>
        public Report ZReport() { return new Report(Call("PRINTZR", "<ZReport/>"), "Z"); }

        /// <summary>Opens the cash drawer (OPENDR).</summary>
        public void OpenDrawer() { Call("OPENDR", "<Drawer><Number>1</Number></Drawer>"); }

        /// <summary>
        /// Any export but OPEN, CLOSE and VERSION, with the document element aDocument
        /// (for instance "&lt;NFReceipt&gt;...&lt;/NFReceipt&gt;") and optional Parameters
        /// (for instance "&lt;GetReceiptText&gt;true&lt;/GetReceiptText&gt;"). Throws on -1.
        /// </summary>
        public Result Call(string aExport, string aDocument, string aParameters = "")
        {
            if (Handle == 0) throw new ObjectDisposedException("Till", "The printer is closed");
            string body = Xml.Element("Handle", Handle.ToString(System.Globalization.CultureInfo.InvariantCulture));
            if (aParameters.Length > 0) body += "<Parameters>" + aParameters + "</Parameters>";
            return Run(aExport, Driver.ByName(aExport), body + aDocument);
        }

        /// <summary>
        /// Closes the device (CLOSE) and gives back its answer without throwing: the library
        /// frees the device and its handle even when CLOSE reports an error. Null when closed.
        /// </summary>
        public Result Close()
        {
            if (Handle == 0) return null;
            string body = Xml.Element("Handle", Handle.ToString(System.Globalization.CultureInfo.InvariantCulture));
            Handle = 0;
            return Driver.Call(Native.CLOSE, Request(body));
        }

        public void Dispose() { Close(); }

        string Request(string aBody)
        {
            return "<ReceiptPrinterManager>" + Xml.Element("Driver", Driver.DriverName) +
                   (LogId.Length > 0 ? Xml.Element("LogId", LogId) : "") + aBody + "</ReceiptPrinterManager>";
        }

        Result Run(string aName, Export aExport, string aBody)
        {
            Result result = Driver.Call(aExport, Request(aBody));
            if (!result.Ok) throw new FiscalPrinterException(aName, result);
            return result;
        }

        static string ReceiptDocument(string aType, string aReferences, IEnumerable<SaleLine> aLines,
                                      IEnumerable<Payment> aPayments)
        {
            var sb = new StringBuilder("<Receipt>");
            sb.Append(Xml.Element("Type", aType)).Append(aReferences).Append("<Lines>");
            foreach (SaleLine line in aLines)
            {
                sb.Append("<ProductSale>").Append(Xml.Element("Description", line.Description))
                  .Append(Xml.Element("Quantity", Xml.Amount(line.Quantity)))
                  .Append(Xml.Element("Price", Xml.Amount(line.Price)))
                  .Append(Xml.Element("Amount", Xml.Amount(line.Amount)))
                  .Append(Xml.Element("Department", line.Department.ToString(System.Globalization.CultureInfo.InvariantCulture)))
                  .Append("</ProductSale>");
            }
            sb.Append("</Lines><Taxes/><Payments>");
            foreach (Payment payment in aPayments)
                sb.Append("<Payment>").Append(Xml.Element("Type", payment.Type.ToString()))
                  .Append(Xml.Element("Amount", Xml.Amount(payment.Amount))).Append("</Payment>");
            sb.Append("</Payments></Receipt>");
            return sb.ToString();
        }
    }
}
