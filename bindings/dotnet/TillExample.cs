// TillExample.cs: a till's day in C# through Till.cs and FpDriver.cs.
//
//   mcs -out:till.exe TillExample.cs Till.cs FpDriver.cs -r:System.Xml.dll   (Mono)
//   csc TillExample.cs Till.cs FpDriver.cs               (Visual Studio 2015 or later: C# 6)
//   till.exe http://192.168.1.50/
//
// Opens the printer, shows its status, sells two coffees, refunds one of them, takes an X
// report, then sends a receipt paid short of its total, which the printer refuses, and
// shows the refusal. Exit status 0 when every step went as told, 1 otherwise.
using System;
using FpDriver;

static class TillExample
{
    static string Shown(DateTime? aWhen)
    {
        return aWhen.HasValue ? aWhen.Value.ToString("yyyy-MM-dd HH:mm:ss") : "(not read)";
    }

    static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: till URL   (for instance http://192.168.1.50/)");
            return 2;
        }
        Console.WriteLine("driver: " + Driver.Version());
        try
        {
            using (var till = new Till(args[0], "csharp"))
            {
                Status status = till.Status();
                Console.WriteLine("printer " + status.SerialNumber + ", fiscal mode " + status.FiscalMode +
                                  ", day open " + status.DayOpened);

                var coffee = new SaleLine("Caffe espresso", 2, 1.20m, 1);
                Receipt sale = till.Sale(new[] { coffee }, new[] { new Payment(PaymentType.Cash, 5.00m) });
                Console.WriteLine("sale: receipt " + sale.Number + " of closing " + sale.ClosingNumber +
                                  " at " + Shown(sale.PrintedAt));

                var one = new SaleLine("Caffe espresso", 1, 1.20m, 1);
                Receipt refund = till.Refund(sale, new[] { one }, new[] { new Payment(PaymentType.Cash, 1.20m) });
                Console.WriteLine("refund: receipt " + refund.Number + " of closing " + refund.ClosingNumber);

                Report x = till.XReport();
                Console.WriteLine("X report " + x.Number + " at " + Shown(x.TakenAt));

                try
                {
                    till.Sale(new[] { coffee }, new[] { new Payment(PaymentType.CreditCard, 1.00m) });
                    Console.WriteLine("the short payment was accepted");
                    return 1;
                }
                catch (FiscalPrinterException refused)
                {
                    Console.WriteLine("refused as it should be: " + refused.ErrorText);
                }
            }
        }
        catch (FiscalPrinterException e)
        {
            Console.Error.WriteLine(e.Export + " failed: " + e.ErrorText);
            return 1;
        }
        return 0;
    }
}
