#!/usr/bin/env python3
"""Cuts small seeds for the plane and audio fuzz targets out of movies.

    fuzz/make_seeds.py MOVIE... 

Writes fuzz/seeds/fuzz_plane/<movie>.f<N> (a luma or chroma plane of frame N
behind the target's seven set-up bytes) and fuzz/seeds/fuzz_audio/<movie>
(the first track's first audio parts behind the target's three set-up bytes).
Movies too wide for the plane target give no plane seed.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MAX_SEEDS_PER_MOVIE = 2
MAX_PLANE_BLOCKS = 32  # the plane target's limit per side, in 8-sample blocks
HEADER_ALPHA = 0x100000


def words(data, at, n):
    return struct.unpack_from("<%dI" % n, data, at)


def round8(v):
    return (v + 7) // 8 * 8


def seeds_of(path):
    data = open(path, "rb").read()
    if len(data) < 44 or data[:3] != b"VXL":
        return [], None
    revision = chr(data[3])
    (_, frames, _, entries, width, height, _, _, flags, tracks) = words(data, 4, 10)
    at = 44
    formats = words(data, at + 4 * tracks, tracks) if tracks else ()
    at += 12 * tracks
    index = words(data, at, entries + 1)

    planes = []
    luma_w, luma_h = round8(width), round8(height)
    chroma_w, chroma_h = round8((width + 1) // 2), round8((height + 1) // 2)
    for n in range(min(frames, MAX_SEEDS_PER_MOVIE)):
        start, end = index[n] & ~1, index[n + 1] & ~1
        p = start
        for _ in range(tracks):
            if p + 4 > end:
                break
            p += 4 + words(data, p, 1)[0]
        if p >= end:
            continue
        if flags & HEADER_ALPHA:
            p += words(data, p, 1)[0]
        # Revision i starts the video with the offset of the chroma planes.
        if revision == "i":
            chroma_at = p + words(data, p, 1)[0]
            p += 4
        else:
            chroma_at = None
        if n == 1 and chroma_at is not None and chroma_at < end:
            w, h, stream = chroma_w, chroma_h, data[chroma_at:end]
            map_step = 2
        else:
            w, h, stream = luma_w, luma_h, data[p:end]
            map_step = 1
        if w // 8 > MAX_PLANE_BLOCKS or h // 8 > MAX_PLANE_BLOCKS:
            continue
        old = 4 if revision != "i" else 0
        setup = bytes([w // 8, h // 8, 0, 0, map_step | old | 16, 0, 0])
        planes.append(setup + stream)

    audio = None
    if tracks:
        fmt = formats[0]
        rate = fmt & 0xFFFF
        channels = 2 if fmt & 0x20000000 else 1
        dct = 4 if (fmt & 0x10000000) and not (fmt & 0x80000000) else 0
        out = bytearray(struct.pack("<HB", rate, channels | dct))
        for n in range(min(frames, MAX_SEEDS_PER_MOVIE)):
            p, end = index[n] & ~1, index[n + 1] & ~1
            if p + 4 > end:
                break
            size = words(data, p, 1)[0]
            part = data[p + 4:min(p + 4 + size, end)]
            if len(part) > 0xFFFF:
                break
            out += struct.pack("<BHH", 1, 0xFFFF, len(part)) + part
        audio = bytes(out)
    return planes, audio


def main():
    for path in sys.argv[1:]:
        name = os.path.splitext(os.path.basename(path))[0]
        planes, audio = seeds_of(path)
        for n, seed in enumerate(planes):
            os.makedirs(os.path.join(HERE, "seeds", "fuzz_plane"), exist_ok=True)
            open(os.path.join(HERE, "seeds", "fuzz_plane", "%s.f%d" % (name, n + 1)), "wb").write(seed)
        if audio:
            os.makedirs(os.path.join(HERE, "seeds", "fuzz_audio"), exist_ok=True)
            open(os.path.join(HERE, "seeds", "fuzz_audio", name), "wb").write(audio)


if __name__ == "__main__":
    main()
