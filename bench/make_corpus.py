#!/usr/bin/env python3
"""Builds the inflate benchmark's streams: three tars of system files (text,
programs, documents), each stored plain and as raw DEFLATE at levels 1, 6 and
9. Every file comes from a package scripts/setup installs, in sorted order with
fixed tar metadata, so the bytes are the same on every run.
Usage: make_corpus.py OUTDIR  (writes KIND.tar, KIND-LEVEL.raw, sources.txt)"""
import glob
import gzip
import io
import os
import subprocess
import sys
import tarfile
import zlib

# Programs: a fixed selection of ELF files, about 50 MB, from cmake, python3,
# xvfb, binutils, imagemagick and the libraries the toolchain and Wine pull in.
PROGRAMS = [
    '/usr/bin/Xvfb',
    '/usr/bin/cmake',
    '/usr/bin/ctest',
    '/usr/bin/ninja',
    '/usr/bin/python3.11',
    '/usr/bin/x86_64-linux-gnu-as',
    '/usr/bin/x86_64-linux-gnu-ld.bfd',
    '/usr/lib/x86_64-linux-gnu/libMagickCore-6.Q16.so.6',
    '/usr/lib/x86_64-linux-gnu/libX11.so.6',
    '/usr/lib/x86_64-linux-gnu/libc.so.6',
    '/usr/lib/x86_64-linux-gnu/libcrypto.so.3',
    '/usr/lib/x86_64-linux-gnu/libglib-2.0.so.0',
    '/usr/lib/x86_64-linux-gnu/libgnutls.so.30',
    '/usr/lib/x86_64-linux-gnu/libsqlite3.so.0',
    '/usr/lib/x86_64-linux-gnu/libstdc++.so.6',
    '/usr/lib/x86_64-linux-gnu/libxml2.so.2',
]

# Documents: what ships beside programs. The fonts setup installs (TrueType
# tables and outlines) and the manuals and notes of a few setup packages
# (roff and prose, gzip undone so they are text again): neither code nor C.
DOCUMENT_PACKAGES = [
    'cmake', 'cmake-data', 'fonts-dejavu-core', 'fonts-wqy-microhei', 'gcc-12', 'imagemagick-6.q16',
    'ninja-build', 'python3.11', 'wine', 'xvfb',
]
DOCUMENT_FOLDERS = ('/usr/share/doc/', '/usr/share/man/', '/usr/share/fonts/')


def text_files():
    return [(p, None) for p in sorted(glob.glob('/usr/include/*.h'))]


def program_files():
    for path in PROGRAMS:
        with open(path, 'rb') as f:
            if f.read(4) != b'\x7fELF':
                sys.exit('make_corpus: %s is not an ELF file' % path)
    return [(p, None) for p in PROGRAMS]


def document_files():
    listed = subprocess.run(['dpkg-query', '-L', *DOCUMENT_PACKAGES], check=True, capture_output=True,
                            text=True).stdout.split('\n')
    paths = sorted({p for p in listed if p.startswith(DOCUMENT_FOLDERS) and os.path.isfile(p)
                    and not os.path.islink(p)})
    return [(p, gzip.decompress if p.endswith('.gz') else None) for p in paths]


def build_tar(files):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode='w', format=tarfile.GNU_FORMAT) as tar:
        for path, transform in files:
            with open(path, 'rb') as f:
                data = f.read()
            if transform:
                data = transform(data)
            info = tarfile.TarInfo(path.lstrip('/'))
            info.size = len(data)
            info.mtime = 0
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def main(out):
    os.makedirs(out, exist_ok=True)
    kinds = [('text', text_files(), '/usr/include/*.h'),
             ('programs', program_files(), 'ELF files of /usr/bin and /usr/lib/x86_64-linux-gnu'),
             ('documents', document_files(), 'fonts, manuals and notes of ' + ' '.join(DOCUMENT_PACKAGES))]
    lines = []
    for kind, files, what in kinds:
        data = build_tar(files)
        with open(os.path.join(out, kind + '.tar'), 'wb') as f:
            f.write(data)
        for level in (1, 6, 9):
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, zlib.Z_DEFAULT_STRATEGY)
            with open(os.path.join(out, '%s-%d.raw' % (kind, level)), 'wb') as f:
                f.write(c.compress(data) + c.flush())
        lines.append('%-9s  %5d files  %6.1f MB  %s\n' % (kind, len(files), len(data) / 1e6, what))
    # Written last: its presence marks a complete corpus.
    with open(os.path.join(out, 'sources.txt'), 'w') as f:
        f.writelines(lines)
    sys.stdout.writelines(lines)


if __name__ == '__main__':
    main(sys.argv[1])
