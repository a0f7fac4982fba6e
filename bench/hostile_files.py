#!/usr/bin/env python3
"""Makes, in DIR, a good small file of every format the image library reads
and hostile copies of it: headers that claim a picture far larger than the
file holds (16384x16384, inside the default pixel limit, and 60000x60000 or
the format's largest, over it) and header sections that claim gigabytes.

    bench/hostile_files.py DIR

Prints one line per file: KIND NAME WHAT, where KIND is "good" or
"hostile" and WHAT says what the header claims. Good files are made by
oiiotool (or here, for formats it cannot write); hostile ones are those
files with their header fields rewritten, so each is a few KB at most.
"""
import os
import struct
import subprocess
import sys
import zlib

W, H = 64, 48
BIG, HUGE = 16384, 60000


def oiiotool(path, *args):
    subprocess.run(["oiiotool", "--pattern", "noise:seed=3", f"{W}x{H}", "3", *args, "-o", path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(path, "rb") as f:
        return bytearray(f.read())


def put(data, at, fmt, *values):
    struct.pack_into(fmt, data, at, *values)
    return data


def png(data, w, h):
    data = put(bytearray(data), 16, ">II", w, h)
    return put(data, 29, ">I", zlib.crc32(bytes(data[12:29])) & 0xFFFFFFFF)


def jpeg(data, w, h):
    data = bytearray(data)
    at = 2
    while at < len(data):
        marker, length = data[at + 1], struct.unpack_from(">H", data, at + 2)[0]
        if marker in (0xC0, 0xC1, 0xC2):
            return put(data, at + 5, ">HH", h, w)
        at += 2 + length
    raise SystemExit("hostile_files: no SOF in the JPEG")


def tiff(data, w, h):
    data = bytearray(data)
    order = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack_from(order + "I", data, 4)[0]
    count = struct.unpack_from(order + "H", data, ifd)[0]
    for i in range(count):
        at = ifd + 2 + 12 * i
        tag, kind = struct.unpack_from(order + "HH", data, at)
        value = {256: w, 257: h, 278: h}.get(tag)
        if value is not None:
            put(data, at + 8, order + ("H" if kind == 3 else "I"), value)
    return data


def gif(data, w, h):
    data = put(bytearray(data), 6, "<HH", w, h)
    at = 13 + (3 * 2 ** ((data[10] & 7) + 1) if data[10] & 0x80 else 0)
    while data[at] == 0x21:  # extensions: label, then sub-blocks
        at += 2
        while data[at]:
            at += data[at] + 1
        at += 1
    return put(data, at + 5, "<HH", w, h)


def webp(data, w, h):
    data = bytearray(data)
    at = 12
    while at < len(data):
        chunk, size = bytes(data[at:at + 4]), struct.unpack_from("<I", data, at + 4)[0]
        body = at + 8
        if chunk == b"VP8X":
            put(data, body + 4, "<I", (w - 1) & 0xFFFFFF)
            put(data, body + 7, "<I", ((h - 1) & 0xFFFFFF) | (data[body + 10] << 24))
        elif chunk == b"VP8L":
            bits = struct.unpack_from("<I", data, body + 1)[0]
            put(data, body + 1, "<I", (bits & ~0xFFFFFFF) | ((w - 1) & 0x3FFF) | (((h - 1) & 0x3FFF) << 14))
        elif chunk == b"VP8 ":
            put(data, body + 6, "<HH", w & 0x3FFF, h & 0x3FFF)
        at = body + size + (size & 1)
    return data


def exr_attributes(data):
    at = 8
    while data[at]:
        name_end = data.index(0, at)
        type_end = data.index(0, name_end + 1)
        size = struct.unpack_from("<i", data, type_end + 1)[0]
        yield bytes(data[at:name_end]), type_end + 1, type_end + 5
        at = type_end + 5 + size


def exr(data, w, h):
    data = bytearray(data)
    for name, _, value in exr_attributes(data):
        if name in (b"dataWindow", b"displayWindow"):
            put(data, value, "<iiii", 0, 0, w - 1, h - 1)
    return data


def exr_long_string(data):
    data = bytearray(data)
    for name, size, _ in exr_attributes(data):
        if name == b"Software":
            return put(data, size, "<i", 0x7FFFFFF0)
    raise SystemExit("hostile_files: no Software attribute in the EXR")


def text_header(data, old, new):
    at = data.index(old)
    return bytearray(data[:at]) + new + bytearray(data[at + len(old):])


def fits(data, w, h):
    data = bytearray(data)
    for key, value in ((b"NAXIS1", w), (b"NAXIS2", h)):
        at = data.index(key.ljust(8) + b"=")
        data[at:at + 80] = (key.ljust(8) + b"= " + str(value).rjust(20).encode()).ljust(80)
    return data


def psd(w, h, pixels=True):
    head = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, h, w, 8, 3) + struct.pack(">III", 0, 0, 0)
    body = struct.pack(">H", 0) + (bytes((i * 7) & 255 for i in range(W * H * 3)) if pixels else bytes(2000))
    return bytearray(head + body)


def ico(data, w, h):
    data = bytearray(data)
    at = struct.unpack_from("<I", data, 18)[0]  # the first image
    if data[at:at + 4] == b"\x89PNG":
        data[at:] = png(data[at:], w, h)
    else:
        put(data, at + 4, "<ii", w, 2 * h)
    return data


def dpx_order(data):
    return ">" if data[:4] == b"SDPX" else "<"


def dpx_size(data, w, h):
    return put(bytearray(data), 772, dpx_order(data) + "II", w, h)


def dpx_user_data(data):
    return put(bytearray(data), 32, dpx_order(data) + "I", 2_000_000_000)


def cineon(w, h, bits=10, pixels=True):
    # The generic header (file and image information, 1024 bytes) and 10-bit RGB packed three to a word.
    head = bytearray(1024)
    put(head, 0, ">IIIIII", 0x802A5FD7, 1024, 1024, 0, 0, 1024 + W * H * 4)
    put(head, 192, ">BB", 0, 3)
    for c in range(3):
        put(head, 196 + 28 * c, ">BBBBII", 0, c + 1, bits, 0, w, h)
    put(head, 680, ">BBBBBBBB", 0, 5, 1, 0, 0, 0, 0, 0)  # interleave, packing, signed...
    body = bytes((i * 13) & 255 for i in range(W * H * 4)) if pixels else bytes(2000)
    return head + body


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else sys.exit("usage: hostile_files.py DIR")
    os.makedirs(out, exist_ok=True)
    files = []

    def emit(kind, name, data, what):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        files.append((kind, name, what))

    def family(label, ext, good, patch, big=BIG, huge=HUGE):
        emit("good", f"good-{label}.{ext}", good, f"{W}x{H}")
        emit("hostile", f"big-{label}.{ext}", patch(good, big, big), f"{big}x{big} in {len(good)} bytes")
        if huge:
            emit("hostile", f"huge-{label}.{ext}", patch(good, huge, huge), f"{huge}x{huge}")

    t = os.path.join(out, "tmp")
    family("png", "png", oiiotool(t + ".png", "-d", "uint8"), png)
    family("jpeg", "jpg", oiiotool(t + ".jpg", "-d", "uint8"), jpeg, huge=65000)
    family("tiff", "tif", oiiotool(t + ".tif", "-d", "uint16", "--compression", "none"), tiff)
    family("targa", "tga", oiiotool(t + ".tga", "-d", "uint8"), lambda d, w, h: put(bytearray(d), 12, "<HH", w, h))
    family("bmp", "bmp", oiiotool(t + ".bmp", "-d", "uint8"), lambda d, w, h: put(bytearray(d), 18, "<ii", w, h))
    family("sgi", "sgi", oiiotool(t + ".sgi", "-d", "uint8"), lambda d, w, h: put(bytearray(d), 6, ">HH", w, h))
    family("gif", "gif", oiiotool(t + ".gif", "-d", "uint8"), gif)
    family("webp", "webp", oiiotool(t + ".webp", "-d", "uint8"), webp, big=16383, huge=0)
    emit("good", "good-ico.ico", oiiotool(t + ".ico", "-d", "uint8", "--resize", "32x32"), "32x32")
    family("exr", "exr", oiiotool(t + ".exr", "-d", "half", "--attrib", "Software", "x"), exr, huge=100000)
    family("exr-tiled", "exr", oiiotool(t + "t.exr", "-d", "half", "--tile", "16", "16"), exr, huge=100000)
    family("hdr", "hdr", oiiotool(t + ".hdr"),
           lambda d, w, h: text_header(d, f"-Y {H} +X {W}".encode(), f"-Y {h} +X {w}".encode()))
    family("ppm", "ppm", oiiotool(t + ".ppm", "-d", "uint8"),
           lambda d, w, h: text_header(d, f"{W} {H}".encode(), f"{w} {h}".encode()))
    family("ppm16", "ppm", oiiotool(t + "16.ppm", "-d", "uint16"),
           lambda d, w, h: text_header(d, f"{W} {H}".encode(), f"{w} {h}".encode()))
    family("fits", "fits", oiiotool(t + ".fits", "-d", "uint8", "--ch", "R"), fits)
    family("dpx", "dpx", oiiotool(t + ".dpx", "-d", "uint10"), dpx_size)
    family("dpx16", "dpx", oiiotool(t + "16.dpx", "-d", "uint16"), dpx_size)
    family("psd", "psd", psd(W, H), lambda d, w, h: psd(w, h, pixels=False), huge=30000)
    family("cineon", "cin", cineon(W, H), lambda d, w, h: cineon(w, h, pixels=False))
    dpx = oiiotool(t + ".dpx", "-d", "uint10")
    emit("hostile", "user-data-dpx.dpx", dpx_user_data(dpx), "user data of 2000000000 bytes")
    exr_good = oiiotool(t + ".exr", "-d", "half", "--attrib", "Software", "x")
    emit("hostile", "long-string-exr.exr", exr_long_string(exr_good), "a string of 2147483632 bytes")
    for ext in ("png", "jpg", "tif", "tga", "bmp", "sgi", "gif", "webp", "ico", "exr", "hdr", "ppm", "fits", "dpx"):
        for suffix in ("", "t", "16"):
            if os.path.exists(t + suffix + "." + ext):
                os.remove(t + suffix + "." + ext)
    for kind, name, what in files:
        print(kind, name, what)


main()
