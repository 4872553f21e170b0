#!/usr/bin/env python3
"""Converts a 24/32-bit TrueColor X window dump (xwd) to an RGB PNG: xwd_png.py IN OUT."""
import struct
import sys
import zlib


def main(src, dst):
    d = open(src, 'rb').read()
    if len(d) < 100:
        sys.exit('short xwd file')
    h = struct.unpack('>25I', d[:100])
    header, width, height, bpp, bpl, ncolours = h[0], h[4], h[5], h[11], h[12], h[19]
    if bpp != 32 or not (0 < width <= 16384 and 0 < height <= 16384) or bpl < width * 4:
        sys.exit('unsupported xwd: %dx%d at %d bits' % (width, height, bpp))
    off = header + ncolours * 12
    if off + bpl * height > len(d):
        sys.exit('truncated xwd file')
    rows = []
    for y in range(height):
        r = d[off + y * bpl: off + y * bpl + width * 4]
        row = bytearray(1 + width * 3)
        row[1::3] = r[2::4]  # pixels are stored B, G, R, pad
        row[2::3] = r[1::4]
        row[3::3] = r[0::4]
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = (b'\x89PNG\r\n\x1a\n' +
           chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(b''.join(rows))) + chunk(b'IEND', b''))
    open(dst, 'wb').write(png)


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
