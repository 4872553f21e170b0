#!/usr/bin/env python3
"""Captures the root window of an X display to an RGB PNG: x11_grab.py OUT.png WIDTH HEIGHT."""
import ctypes, ctypes.util, struct, sys, zlib, os
x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int), ('format', ctypes.c_int),
                ('data', ctypes.POINTER(ctypes.c_ubyte)), ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]
d = x11.XOpenDisplay(os.environ['DISPLAY'].encode())
root = x11.XDefaultRootWindow(d)
w, h = int(sys.argv[2]), int(sys.argv[3])
img = ctypes.cast(x11.XGetImage(d, root, 0, 0, w, h, 0xffffffff, 2), ctypes.POINTER(XImage)).contents
bpl = img.bytes_per_line
raw = ctypes.string_at(img.data, bpl * h)
rows = b''.join(b'\0' + bytes(b for px in range(w) for b in (raw[y*bpl+px*4+2], raw[y*bpl+px*4+1], raw[y*bpl+px*4])) for y in range(h))
def chunk(t, data): return struct.pack('>I', len(data)) + t + data + struct.pack('>I', zlib.crc32(t + data) & 0xffffffff)
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(rows, 6)) + chunk(b'IEND', b''))
