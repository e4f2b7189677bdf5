// vorla for C#: P/Invoke of vorla.dll's invoke export.
//
// vorla.dll is a 32-bit DLL: build the host for x86 (<PlatformTarget>x86</PlatformTarget>),
// not AnyCPU, or the DLL does not load in a 64-bit process. The exports are
// stdcall; texts are GBK (code page 936). On .NET Core / .NET 5+ register the
// code page provider first: Encoding.RegisterProvider(CodePagesEncodingProvider.Instance).
// Call from one thread, one call at a time: the Call method takes a lock.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Vorla
{
    public static class VorlaLibrary
    {
        // Bytes of the answer buffer: the library cannot be told its size and writes the whole answer.
        public const int BufferSize = 8 * 1024 * 1024;
        static readonly object Gate = new object();

#if VORLA_LINUX
        const string Dll = "libvorla.so";
        const CallingConvention Convention = CallingConvention.Cdecl;
#else
        const string Dll = "vorla.dll";
        const CallingConvention Convention = CallingConvention.StdCall;
#endif

        // void invoke(const char* const* request, char* const* answer)
        [DllImport(Dll, EntryPoint = "invoke", CallingConvention = Convention, ExactSpelling = true)]
        static extern void invoke(ref IntPtr request, ref IntPtr answer);

        public static Encoding Gbk { get { return Encoding.GetEncoding(936); } }

        // One call: the request text is sent as GBK, the GBK answer comes back as text.
        public static string Call(string request)
        {
            byte[] req = Gbk.GetBytes(request + "\0");
            IntPtr reqMem = Marshal.AllocHGlobal(req.Length);
            IntPtr ansMem = Marshal.AllocHGlobal(BufferSize);
            try
            {
                Marshal.Copy(req, 0, reqMem, req.Length);
                Marshal.WriteByte(ansMem, 0);
                IntPtr r = reqMem, a = ansMem;
                lock (Gate) invoke(ref r, ref a);
                int n = 0;
                while (n < BufferSize && Marshal.ReadByte(ansMem, n) != 0) n++;
                byte[] answer = new byte[n];
                Marshal.Copy(ansMem, answer, 0, n);
                return Gbk.GetString(answer);
            }
            finally
            {
                Marshal.FreeHGlobal(reqMem);
                Marshal.FreeHGlobal(ansMem);
            }
        }

        static string Quote(string s) { return "'" + s.Replace("\\", "\\\\").Replace("'", "\\'") + "'"; }

        // The invoke request for one business call.
        public static string BizbussRequest(string hid, string biztype, string ip, string indata)
        {
            return "{functionname:'bizbuss',params:{hid:" + Quote(hid) + ",biztype:" + Quote(biztype) +
                   ",ip:" + Quote(ip) + ",indata:" + Quote(indata) + "}}";
        }

        // ErrCode of a transaction document, "" when it has none.
        public static string ErrCode(string answer)
        {
            int p = answer.IndexOf("<ErrCode>", StringComparison.Ordinal);
            if (p < 0) return "";
            p += 9;
            int q = answer.IndexOf("</ErrCode>", p, StringComparison.Ordinal);
            return q < 0 ? "" : answer.Substring(p, q - p);
        }
    }
}
