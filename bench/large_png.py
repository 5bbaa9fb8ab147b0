#!/usr/bin/env python3
# Writes a small PNG that declares a huge all-black grey picture (default
# 16384 x 16384, 261 KB), for measuring the memory a load takes:
#   bench/large_png.py big.png && /usr/bin/time -v tembra run doc.json --frames 1
import sys, zlib, struct
def chunk(kind, data):
    c = struct.pack(">I", len(data)) + kind + data
    return c + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
w = h = int(sys.argv[2]) if len(sys.argv) > 2 else 16384
out = open(sys.argv[1], "wb")
out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 0, 0, 0, 0)))
z = zlib.compressobj(9)
row = bytes(w + 1)
data = bytearray()
for y in range(h):
    data += z.compress(row)
data += z.flush()
out.write(chunk(b"IDAT", bytes(data)) + chunk(b"IEND", b""))
