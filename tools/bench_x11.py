"""Watching a virtual display's windows from this process, for the Wine
benchmark: which managed window has a given title, asked in well under a
millisecond. Starting xdotool for every look would take longer than the
interval the start-up is timed at.

Standard library only (ctypes over Xlib, which Xvfb and xdotool bring).
"""

import ctypes
import ctypes.util

XA_WINDOW = 33
SUCCESS = 0

_xlib = None


def xlib():
    global _xlib
    if _xlib is None:
        lib = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        lib.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                   ctypes.POINTER(ctypes.c_void_p)]
        lib.XFree.argtypes = [ctypes.c_void_p]
        _xlib = lib
    return _xlib


# A window may go between listing it and asking its name; Xlib's default
# handler would end this process for that.
_ERROR_HANDLER_TYPE = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_errors = _ERROR_HANDLER_TYPE(lambda display, event: 0)


class WindowWatch:
    """A connection to one display that lists the window manager's clients."""

    def __init__(self, display_name):
        lib = xlib()
        lib.XSetErrorHandler(_ignore_errors)
        self.dpy = lib.XOpenDisplay(display_name.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display_name}")
        self.root = lib.XDefaultRootWindow(self.dpy)
        self.client_list = lib.XInternAtom(self.dpy, b"_NET_CLIENT_LIST", 0)

    def clients(self):
        """The windows the window manager manages (mapped at least once)."""
        lib = xlib()
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        status = lib.XGetWindowProperty(self.dpy, self.root, self.client_list, 0, 4096, 0,
                                        XA_WINDOW, ctypes.byref(kind), ctypes.byref(fmt),
                                        ctypes.byref(count), ctypes.byref(after),
                                        ctypes.byref(data))
        if status != SUCCESS or not data:
            return []
        ids = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[:count.value]
        lib.XFree(data)
        return ids

    def title(self, window):
        lib = xlib()
        name = ctypes.c_void_p()
        if not lib.XFetchName(self.dpy, window, ctypes.byref(name)) or not name:
            return None
        text = ctypes.cast(name, ctypes.c_char_p).value
        lib.XFree(name)
        return text.decode("latin-1")

    def find(self, title):
        """The id of a managed window titled exactly `title`, or None."""
        for window in self.clients():
            if self.title(window) == title:
                return window
        return None

    def close(self):
        if self.dpy:
            xlib().XCloseDisplay(self.dpy)
            self.dpy = None
