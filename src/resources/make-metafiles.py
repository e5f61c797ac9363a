#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Writes a small placeable Windows metafile (WMF) and an enhanced metafile (EMF) of our own."""
import struct
import sys
from pathlib import Path


def wmf_record(func, *words, payload=b""):
    body = struct.pack("<%dH" % len(words), *[w & 0xFFFF for w in words]) + payload
    if len(body) % 2:
        body += b"\0"
    size = 3 + len(body) // 2
    return struct.pack("<IH", size, func) + body


def write_wmf(path):
    # 4 x 3 inches at 1000 units per inch.
    w, h, inch = 4000, 3000, 1000
    recs = []
    recs.append(wmf_record(0x0103, 8))  # SetMapMode(MM_ANISOTROPIC)
    recs.append(wmf_record(0x020B, 0, 0))  # SetWindowOrg(y, x)
    recs.append(wmf_record(0x020C, h, w))  # SetWindowExt(y, x)

    def brush(rgb):  # CreateBrushIndirect: style, colorref, hatch
        return wmf_record(0x02FC, 0, rgb & 0xFFFF, rgb >> 16, 0)

    def pen(rgb, width):  # CreatePenIndirect: style, width(x,y), colorref
        return wmf_record(0x02FA, 0, width, 0, rgb & 0xFFFF, rgb >> 16)

    objects = [brush(0xF0D8B0), pen(0x603000, 30), brush(0x3060E0), brush(0x40B040), brush(0x20C0F0)]
    recs.extend(objects)
    sel = lambda i: wmf_record(0x012D, i)  # SelectObject
    recs += [sel(0), sel(1), wmf_record(0x041B, h, w, 0, 0)]  # Rectangle(bottom, right, top, left)
    recs += [sel(2), wmf_record(0x0418, 2600, 1800, 400, 300)]  # Ellipse
    pts = [(2000, 2700), (3700, 2700), (2850, 600)]
    recs += [sel(3), wmf_record(0x0324, len(pts), *[c for p in pts for c in p])]  # Polygon
    recs += [sel(4), wmf_record(0x041B, 1000, 3700, 300, 2700)]
    text = b"Vantrel"
    # CreateFontIndirect: height, width, escapement, orientation, weight, italic/underline, strike/charset,
    # precision bytes, then the face name.
    face = b"Liberation Sans\0"
    recs.append(wmf_record(0x02FB, -420, 0, 0, 0, 700, 0, 0, 0, 0, payload=face))
    recs.append(sel(5))
    recs.append(wmf_record(0x0209, 0x00202020 & 0xFFFF, 0x00202020 >> 16))  # SetTextColor
    recs.append(wmf_record(0x0102, 1))  # SetBkMode transparent
    recs.append(wmf_record(0x0521, len(text), payload=text + struct.pack("<hh", 450, 2750)))  # TextOut
    recs.append(struct.pack("<IH", 3, 0))  # EOF
    body = b"".join(recs)
    max_rec = max(struct.unpack_from("<I", r)[0] for r in recs)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, len(objects) + 1, max_rec, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, w, h, inch, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable[:20]):
        checksum ^= word
    placeable += struct.pack("<H", checksum)
    Path(path).write_bytes(placeable + header + body)


def emf_record(rtype, payload=b""):
    if len(payload) % 4:
        payload += b"\0" * (4 - len(payload) % 4)
    return struct.pack("<II", rtype, 8 + len(payload)) + payload


def write_emf(path):
    # 120 x 80 mm, drawn in device units of a 96-dpi reference (454 x 302 pixels).
    wpx, hpx = 454, 302
    recs = []
    recs.append(emf_record(9, struct.pack("<ii", wpx, hpx)))  # SETWINDOWEXTEX
    recs.append(emf_record(11, struct.pack("<ii", wpx, hpx)))  # SETVIEWPORTEXTEX
    recs.append(emf_record(39, struct.pack("<IIII", 1, 0, 0x00E8F4FF, 0)))  # CREATEBRUSHINDIRECT #1
    recs.append(emf_record(38, struct.pack("<IIiiI", 2, 0, 3, 0, 0x00404040)))  # CREATEPEN #2
    recs.append(emf_record(39, struct.pack("<IIII", 3, 0, 0x002050C0, 0)))  # brush #3
    recs.append(emf_record(39, struct.pack("<IIII", 4, 0, 0x0030A0F0, 0)))  # brush #4
    sel = lambda i: emf_record(37, struct.pack("<I", i))
    recs += [sel(1), sel(2), emf_record(43, struct.pack("<iiii", 0, 0, wpx - 1, hpx - 1))]  # RECTANGLE
    recs += [sel(3), emf_record(42, struct.pack("<iiii", 40, 40, 220, 200))]  # ELLIPSE
    pts = [(250, 260), (420, 260), (335, 60)]
    poly = struct.pack("<iiiiI", 250, 60, 420, 260, len(pts)) + b"".join(struct.pack("<ii", *p) for p in pts)
    recs += [sel(4), emf_record(3, poly)]  # POLYGON
    recs.append(emf_record(14, struct.pack("<III", 0, 16, 0) + struct.pack("<I", 20)))  # EOF
    body = b"".join(recs)
    frame = (0, 0, 12000, 8000)  # 0.01 mm
    desc = "Vantrel sample\0\0".encode("utf-16-le")
    header_size = 108
    nbytes = header_size + len(desc) + len(body)
    header = struct.pack("<II", 1, header_size + len(desc))
    header += struct.pack("<iiii", 0, 0, wpx - 1, hpx - 1)  # rclBounds
    header += struct.pack("<iiii", *frame)  # rclFrame
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, nbytes, len(recs) + 1, 5, 0, len(desc) // 2, header_size, 0)
    header += struct.pack("<ii", 1024, 768)  # szlDevice (pixels)
    header += struct.pack("<ii", 271, 203)  # szlMillimeters of that device (96 dpi)
    header += struct.pack("<III", 0, 0, 0)  # cbPixelFormat, offPixelFormat, bOpenGL
    header += struct.pack("<ii", 270933, 203200)  # szlMicrometers
    assert len(header) == header_size, len(header)
    Path(path).write_bytes(header + desc + body)


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    write_wmf(out / "shapes.wmf")
    write_emf(out / "shapes.emf")
