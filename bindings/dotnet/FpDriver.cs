// FpDriver.cs: the fpdriver library from C# (.NET Framework, .NET 6 and later, Mono).
//
// One file to add to a project. Native holds the 22 exports as the library declares them;
// Driver runs one export with a request text and gives back its Result; Till (in Till.cs)
// is a small typed layer over them.
//
//   Windows: fpdriver.dll beside the program (x64 or x86, matching the process).
//   Linux:   libfpdriver.so on the loader's path (LD_LIBRARY_PATH, or a Mono dllmap).
//
// Strings cross the interface as system strings (BSTR: UTF-16 after a 32-bit byte count).
// On Windows they are the OLE automation strings of oleaut32, which the DLL takes and hands
// out, so the marshaller's own BSTR functions make and free them. Elsewhere the library
// carries its own SysAllocStringLen / SysStringLen / SysFreeString and only strings made by
// them may cross: a runtime's BSTR allocator is not the library's.
using System;
using System.Globalization;
using System.Runtime.InteropServices;
using System.Text;
using System.Xml;

namespace FpDriver
{
    /// <summary>One export: a request in, the result fragment and the error text out.</summary>
    public delegate short Export(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);

    /// <summary>
    /// The 22 exports of fpdriver. Every one takes a request BSTR and gives back two new BSTRs
    /// the caller frees; the result is 0 or -1 (VERSION: always 0). The calling convention is
    /// the platform's default, as the library's header declares it: __stdcall on 32-bit
    /// Windows, the C convention everywhere else (x64 has only one).
    /// </summary>
    public static class Native
    {
        // "fpdriver" is fpdriver.dll on Windows and libfpdriver.so elsewhere.
        public const string Library = "fpdriver";
        const CallingConvention Convention = CallingConvention.Winapi;

        [DllImport(Library, CallingConvention = Convention)] public static extern short PRINTFR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short REPRINTFR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short PRINTXR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short PRINTZR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short PRINTNFR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short DISPLAY(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short OPENDR(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETSTATUS(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short SET(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short SETDATETIME(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short OPEN(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETDRSTATUS(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short EJREPORT(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short CLOSE(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETVATTABLE(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short SETVATTABLE(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETDEPTTABLE(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short SETDEPTTABLE(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short PAY(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETLOTTERYRCPTSTATUS(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short GETEJFILES(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);
        [DllImport(Library, CallingConvention = Convention)] public static extern short VERSION(IntPtr aXml, out IntPtr aOutput, out IntPtr aErrorMessage);

        // The library's own system strings, exported by libfpdriver.so only (the DLL uses
        // oleaut32's). Plain C functions.
        [DllImport(Library, EntryPoint = "SysAllocStringLen", CharSet = CharSet.Unicode)]
        static extern IntPtr LibraryAllocString([MarshalAs(UnmanagedType.LPWStr)] string aText, uint aLength);
        [DllImport(Library, EntryPoint = "SysStringLen")]
        static extern uint LibraryStringLength(IntPtr aText);
        [DllImport(Library, EntryPoint = "SysFreeString")]
        static extern void LibraryFreeString(IntPtr aText);

        static readonly bool OnWindows = Environment.OSVersion.Platform == PlatformID.Win32NT;

        /// <summary>A new system string holding aText (null for null); free it with FreeString.</summary>
        public static IntPtr ToSystemString(string aText)
        {
            if (aText == null) return IntPtr.Zero;
            if (OnWindows) return Marshal.StringToBSTR(aText);
            IntPtr result = LibraryAllocString(aText, (uint)aText.Length);
            if (result == IntPtr.Zero) throw new OutOfMemoryException("SysAllocStringLen failed");
            return result;
        }

        /// <summary>The text of a system string, by its length prefix; null for null.</summary>
        public static string FromSystemString(IntPtr aText)
        {
            if (aText == IntPtr.Zero) return null;
            if (OnWindows) return Marshal.PtrToStringBSTR(aText);
            return Marshal.PtrToStringUni(aText, (int)LibraryStringLength(aText));
        }

        public static void FreeString(IntPtr aText)
        {
            if (aText == IntPtr.Zero) return;
            if (OnWindows) Marshal.FreeBSTR(aText);
            else LibraryFreeString(aText);
        }
    }

    /// <summary>Runs exports with texts: makes the request string, frees every string.</summary>
    public static class Driver
    {
        public const string DriverName = "VNRP_TARVOLX40FPETH_10";

        /// <summary>Runs one export (Native.PRINTFR, ...) with a request text.</summary>
        public static Result Call(Export aExport, string aRequest)
        {
            IntPtr request = Native.ToSystemString(aRequest ?? "");
            IntPtr output = IntPtr.Zero, error = IntPtr.Zero;
            try
            {
                short code = aExport(request, out output, out error);
                return new Result(code, Native.FromSystemString(output), Native.FromSystemString(error) ?? "");
            }
            finally
            {
                Native.FreeString(output);
                Native.FreeString(error);
                Native.FreeString(request);
            }
        }

        /// <summary>The export of this name (PRINTFR, GETSTATUS, ...).</summary>
        public static Export ByName(string aName)
        {
            var method = typeof(Native).GetMethod(aName, new[] { typeof(IntPtr), typeof(IntPtr).MakeByRefType(), typeof(IntPtr).MakeByRefType() });
            if (method == null || aName != aName.ToUpperInvariant()) throw new ArgumentException("No export named " + aName);
            return (Export)Delegate.CreateDelegate(typeof(Export), method);
        }

        /// <summary>The version text of a driver; null when no driver of that name is registered.</summary>
        public static string Version(string aDriver = DriverName)
        {
            return Call(Native.VERSION, aDriver).Fragment;
        }
    }

    /// <summary>
    /// An export's answer: the return value, the result fragment and the error text.
    /// this["Name"] is the text of the fragment's first element Name, null when it has none.
    /// </summary>
    public sealed class Result
    {
        public short Code { get; }
        /// <summary>The result fragment (null only for VERSION of an unknown driver).</summary>
        public string Fragment { get; }
        public string ErrorText { get; }
        public bool Ok { get { return Code == 0; } }

        XmlDocument document;

        public Result(short aCode, string aFragment, string aErrorText)
        {
            Code = aCode;
            Fragment = aFragment;
            ErrorText = aErrorText;
        }

        // A fragment is a run of elements without a root; inside one it is a document.
        XmlElement Root()
        {
            if (document == null)
            {
                document = new XmlDocument();
                document.LoadXml("<Result>" + (Fragment ?? "") + "</Result>");
            }
            return document.DocumentElement;
        }

        public string this[string aName]
        {
            get
            {
                XmlNode node = Root().SelectSingleNode(aName);
                return node == null ? null : node.InnerText;
            }
        }

        /// <summary>The Line elements inside the element aName (the report texts).</summary>
        public string[] Lines(string aName = "Text")
        {
            XmlNodeList nodes = Root().SelectNodes(aName + "/Line");
            var lines = new string[nodes.Count];
            for (int i = 0; i < nodes.Count; ++i) lines[i] = nodes[i].InnerText;
            return lines;
        }

        public int Integer(string aName)
        {
            string text = this[aName];
            int value;
            return int.TryParse(text, NumberStyles.Integer, CultureInfo.InvariantCulture, out value) ? value : 0;
        }

        public bool Boolean(string aName) { return this[aName] == "True"; }

        /// <summary>A date element (yyyy-mm-ddThh:nn:ss); null when missing or unreadable.</summary>
        public DateTime? Date(string aName)
        {
            DateTime value;
            if (DateTime.TryParseExact(this[aName] ?? "", "yyyy-MM-dd'T'HH:mm:ss", CultureInfo.InvariantCulture,
                                       DateTimeStyles.None, out value))
                return value;
            return null;
        }
    }

    /// <summary>An export answered -1: ErrorText says why, Result holds the whole answer.</summary>
    public sealed class FiscalPrinterException : Exception
    {
        public string Export { get; }
        public string ErrorText { get; }
        public Result Result { get; }

        public FiscalPrinterException(string aExport, Result aResult)
            : base(aExport + " failed: " + aResult.ErrorText)
        {
            Export = aExport;
            ErrorText = aResult.ErrorText;
            Result = aResult;
        }
    }

    /// <summary>Text and number forms of requests.</summary>
    public static class Xml
    {
        public static string Escape(string aText)
        {
            var sb = new StringBuilder(aText.Length);
            foreach (char c in aText)
            {
                switch (c)
                {
                    case '&': sb.Append("&amp;"); break;
                    case '<': sb.Append("&lt;"); break;
                    case '>': sb.Append("&gt;"); break;
                    case '"': sb.Append("&quot;"); break;
                    case '\'': sb.Append("&apos;"); break;
                    default: sb.Append(c); break;
                }
            }
            return sb.ToString();
        }

        /// <summary>An amount as requests write it: "." and no grouping, whatever the culture.</summary>
        public static string Amount(decimal aValue)
        {
            return aValue.ToString("0.00##", CultureInfo.InvariantCulture);
        }

        public static string Date(DateTime aValue)
        {
            return aValue.ToString("yyyy-MM-dd'T'HH:mm:ss", CultureInfo.InvariantCulture);
        }

        public static string Element(string aName, string aText)
        {
            return "<" + aName + ">" + Escape(aText ?? "") + "</" + aName + ">";
        }
    }
}
