#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Writes the drawings of the metafile fidelity check as flat ODF Draw files. make-fixtures.sh
turns each into WMF, EMF and a reference PNG with LibreOffice; the results are committed, so the
tests never need LibreOffice."""
import base64
import struct
import sys
import zlib
from pathlib import Path


def png(width, height, pixel):
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def checker(x, y):
    return (200, 40, 40) if (x // 8 + y // 8) % 2 else (250, 220, 60)


HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.graphics">
<office:styles>
 <draw:gradient draw:name="Sky" draw:style="linear" draw:start-color="#1e4e9c" draw:end-color="#bfe3ff" draw:angle="0" draw:border="0%"/>
 <style:default-style style:family="graphic">
  <style:graphic-properties svg:stroke-color="#202020" draw:fill-color="#cccccc"/>
  <style:text-properties fo:font-family="Liberation Sans" fo:font-size="18pt"/>
 </style:default-style>
</office:styles>
<office:automatic-styles>
 <style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="{w}cm" fo:page-height="{h}cm" fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm" fo:margin-right="0cm"/></style:page-layout>
 <style:style style:name="dp1" style:family="drawing-page"/>
 <style:style style:name="grad" style:family="graphic"><style:graphic-properties draw:fill="gradient" draw:fill-gradient-name="Sky" draw:stroke="none"/></style:style>
 <style:style style:name="red" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#d03020" svg:stroke-color="#401010" svg:stroke-width="0.1cm"/></style:style>
 <style:style style:name="green" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#30a040" draw:stroke="none"/></style:style>
 <style:style style:name="blue" style:family="graphic"><style:graphic-properties draw:fill="none" svg:stroke-color="#1030c0" svg:stroke-width="0.15cm"/></style:style>
 <style:style style:name="txt" style:family="graphic"><style:graphic-properties draw:fill="none" draw:stroke="none"/><style:text-properties fo:font-size="{fs}pt" fo:color="#101010" fo:font-weight="bold"/></style:style>
 <style:style style:name="img" style:family="graphic"><style:graphic-properties draw:stroke="none" draw:fill="none"/></style:style>
</office:automatic-styles>
<office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1" draw:style-name="dp1"/></office:master-styles>
<office:body><office:drawing><draw:page draw:name="p1" draw:master-page-name="Default">
"""

TAIL = "</draw:page></office:drawing></office:body></office:document>\n"


def drawing(w, h, fs, shapes):
    return HEAD.replace("{w}", str(w)).replace("{h}", str(h)).replace("{fs}", str(fs)) + shapes + TAIL


def scene_a():
    image = base64.b64encode(png(32, 32, checker)).decode()
    return drawing(16, 10, 20, f"""
<draw:rect draw:style-name="grad" svg:x="0cm" svg:y="0cm" svg:width="16cm" svg:height="10cm"/>
<draw:rect draw:style-name="red" svg:x="1cm" svg:y="1cm" svg:width="5cm" svg:height="3cm"/>
<draw:ellipse draw:style-name="green" svg:x="9cm" svg:y="1cm" svg:width="5cm" svg:height="4cm"/>
<draw:polygon draw:style-name="blue" svg:x="1cm" svg:y="5.5cm" svg:width="5cm" svg:height="4cm" svg:viewBox="0 0 5000 4000" draw:points="0,4000 2500,0 5000,4000"/>
<draw:frame draw:style-name="txt" svg:x="6.5cm" svg:y="6cm" svg:width="9cm" svg:height="1.5cm"><draw:text-box><text:p>Vantrel 123</text:p></draw:text-box></draw:frame>
<draw:frame draw:style-name="img" svg:x="11cm" svg:y="7.5cm" svg:width="2cm" svg:height="2cm"><draw:image><office:binary-data>{image}</office:binary-data></draw:image></draw:frame>
""")


def scene_b():
    return drawing(8, 12, 14, """
<draw:rect draw:style-name="green" svg:x="0.5cm" svg:y="0.5cm" svg:width="7cm" svg:height="2cm"/>
<draw:ellipse draw:style-name="red" svg:x="1cm" svg:y="3.5cm" svg:width="6cm" svg:height="6cm"/>
<draw:line draw:style-name="blue" svg:x1="0.5cm" svg:y1="11cm" svg:x2="7.5cm" svg:y2="10cm"/>
<draw:frame draw:style-name="txt" svg:x="0.5cm" svg:y="5.7cm" svg:width="7cm" svg:height="1.2cm"><draw:text-box><text:p>Tall page</text:p></draw:text-box></draw:frame>
""")


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    (out / "scene-a.fodg").write_text(scene_a())
    (out / "scene-b.fodg").write_text(scene_b())
