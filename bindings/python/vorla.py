"""vorla for Python: calls the library's invoke export through ctypes.

The library is 32-bit on Windows (vorla.dll): use a 32-bit Python there. On
Linux, libvorla.so matches the machine's Python.

    from vorla import Vorla
    v = Vorla()                       # $VORLA_LIBRARY, else libvorla.so / vorla.dll
    answer = v.bizbuss(hid="10010001", biztype="I1", ip="10.1.2.3", indata=xml)

Texts are str on the Python side and GBK inside the library. The library must
not be entered by two calls at once: a Vorla object serialises its calls with a
lock, so use one object per process.
"""
import ctypes
import os
import re
import sys
import threading

DEFAULT_BUFFER_SIZE = 8 * 1024 * 1024  # the library cannot be told the size; it writes the whole answer


def bizbuss_request(hid, biztype, ip, indata):
    """The invoke request text {functionname:'bizbuss',params:{...}}."""
    def quote(v):
        return "'" + str(v).replace("\\", "\\\\").replace("'", "\\'") + "'"
    return ("{functionname:'bizbuss',params:{hid:%s,biztype:%s,ip:%s,indata:%s}}"
            % (quote(hid), quote(biztype), quote(ip), quote(indata)))


def err_code(answer):
    """ErrCode of a transaction document, '' when it has none."""
    m = re.search(r"<ErrCode>([^<]*)</ErrCode>", answer)
    return m.group(1) if m else ""


class Vorla:
    def __init__(self, path=None, buffer_size=DEFAULT_BUFFER_SIZE):
        if buffer_size < 4:
            raise ValueError("buffer_size must be at least 4")
        path = path or os.environ.get("VORLA_LIBRARY") or ("vorla.dll" if sys.platform == "win32" else "libvorla.so")
        # stdcall on Windows (WinDLL), cdecl elsewhere.
        self._lib = ctypes.WinDLL(path) if sys.platform == "win32" else ctypes.CDLL(path)
        self._invoke = self._lib.invoke
        self._invoke.argtypes = [ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_void_p)]
        self._invoke.restype = None
        self.buffer_size = buffer_size
        self._lock = threading.Lock()

    def call_gbk(self, request):
        """One call with the request as GBK bytes; the answer as GBK bytes."""
        if b"\0" in request:
            raise ValueError("a request holds no zero byte")
        buffer = ctypes.create_string_buffer(self.buffer_size)
        req = ctypes.c_char_p(request)
        out = ctypes.c_void_p(ctypes.addressof(buffer))
        with self._lock:
            self._invoke(ctypes.byref(req), ctypes.byref(out))
        return buffer.value  # up to the zero byte the library wrote

    def call(self, request):
        """One call with the request as text (sent as GBK); the answer as text."""
        return self.call_gbk(request.encode("gbk")).decode("gbk", errors="replace")

    def bizbuss(self, hid, biztype, ip, indata):
        return self.call(bizbuss_request(hid, biztype, ip, indata))
