#!/usr/bin/env python3
"""Asks an X11 window to close the way a window manager's close button does: a WM_PROTOCOLS
client message carrying WM_DELETE_WINDOW.  Usage: x11_close.py WINDOW_ID (decimal or 0x hex).
Uses libX11 through ctypes, so it needs no Python X bindings."""
import ctypes
import ctypes.util
import sys


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: x11_close.py WINDOW_ID")
    window = int(sys.argv[1], 0)
    path = ctypes.util.find_library("X11")
    if not path:
        sys.exit("libX11 not found")
    x = ctypes.cdll.LoadLibrary(path)
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("cannot open the X display")
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    if not x.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
        sys.exit("XSendEvent failed")
    x.XFlush(display)
    x.XCloseDisplay(display)


if __name__ == "__main__":
    main()
