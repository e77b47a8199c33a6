#!/usr/bin/env python3
"""Saves what an X window shows as a PNG file, with libX11 and the standard library only.
Usage: window-png.py WINDOW_ID FILE.png (the display from DISPLAY). Window 0 is the root."""
import ctypes
import struct
import sys
import zlib

x11 = ctypes.CDLL("libX11.so.6")


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("rest", ctypes.c_byte * 256)]


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int),
                ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                     ctypes.POINTER(XWindowAttributes)]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


def shift_of(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    display = x11.XOpenDisplay(None)
    if not display:
        print("window-png.py: cannot open the display", file=sys.stderr)
        return 1
    window = int(sys.argv[1], 0) or x11.XDefaultRootWindow(display)
    attributes = XWindowAttributes()
    if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
        return 1
    width, height = attributes.width, attributes.height
    image = x11.XGetImage(display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
    if not image or image.contents.bits_per_pixel != 32:
        print("window-png.py: no 32-bit image of the window", file=sys.stderr)
        return 1
    img = image.contents
    stride = img.bytes_per_line
    data = ctypes.string_at(img.data, stride * height)
    shifts = [shift_of(m) for m in (img.red_mask, img.green_mask, img.blue_mask)]
    rows = []
    for y in range(height):
        words = struct.unpack_from("<%dI" % width, data, y * stride)
        rows.append(bytes(b for w in words for b in
                          ((w >> shifts[0]) & 255, (w >> shifts[1]) & 255, (w >> shifts[2]) & 255)))
    with open(sys.argv[2], "wb") as out:
        out.write(png(width, height, rows))
    x11.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main())
