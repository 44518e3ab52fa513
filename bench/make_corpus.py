#!/usr/bin/env python3
"""Builds the inflate benchmark's corpus deterministically: a tar of the
system's C headers (/usr/include/*.h, sorted, fixed metadata), stored raw and
as raw DEFLATE at levels 1, 6 and 9. Usage: make_corpus.py OUTDIR"""
import glob
import io
import os
import sys
import tarfile
import zlib


def build_tar():
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode='w', format=tarfile.USTAR_FORMAT) as tar:
        for path in sorted(glob.glob('/usr/include/*.h')):
            with open(path, 'rb') as f:
                data = f.read()
            info = tarfile.TarInfo(os.path.basename(path))
            info.size = len(data)
            info.mtime = 0
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def main(out):
    os.makedirs(out, exist_ok=True)
    data = build_tar()
    with open(os.path.join(out, 'corpus.tar'), 'wb') as f:
        f.write(data)
    for level in (1, 6, 9):
        c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, zlib.Z_DEFAULT_STRATEGY)
        with open(os.path.join(out, 'corpus-%d.raw' % level), 'wb') as f:
            f.write(c.compress(data) + c.flush())
    print('%d bytes of headers' % len(data))


if __name__ == '__main__':
    main(sys.argv[1])
