#!/usr/bin/env python3
"""Builds the install benchmark's package: a deflated ZIP of system files (the
C headers, the documentation, then shared libraries until there are enough
files), in a fixed order with fixed times and modes, so the same machine always
gets the same package. Only names the installer's path rules allow, and no two
paths that differ only by case (Windows would see one file). Also writes the
list the file-creation floor reads: one line per file, its size, a tab and its
path below the product folder with backslashes.
Usage: make_install_package.py OUT.zip OUT.list [FILES]  (FILES: at most this many, 13,000 unless given)"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_archive import add_file, name_allowed, sorted_files  # noqa: E402

SOURCES = ['/usr/include', '/usr/share/doc', '/usr/lib/x86_64-linux-gnu']
FILES = 13000
# Far inside what the installer accepts (512 MiB a package, 256 MiB an entry).
LARGEST_ENTRY = 16 * 1024 * 1024
TARGET_UNPACKED = 300 * 1000 * 1000


def main(out, listing, most):
    partial = out + '.partial'
    files = set()  # casefolded paths of the files taken
    folders = {}  # casefolded folder path: the folder as first taken
    lines = []
    unpacked = 0
    with open(partial, 'wb') as f, zipfile.ZipFile(f, 'w', zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for path in (p for top in SOURCES for p in sorted_files(top)):
            if len(lines) == most or unpacked >= TARGET_UNPACKED:
                break
            name = path.lstrip('/')
            if os.path.getsize(path) > LARGEST_ENTRY or not name_allowed(name) or not os.access(path, os.R_OK):
                continue
            # No name that Windows would take for another: the file itself,
            # and every folder on its way (usr/include/X11 against .../x11).
            on_way = [name[:i] for i in range(len(name)) if name[i] == '/']
            if name.casefold() in files or name.casefold() in folders or any(
                    folders.get(w.casefold(), w) != w or w.casefold() in files for w in on_way):
                continue
            data = add_file(z, path, name)
            files.add(name.casefold())
            folders.update((w.casefold(), w) for w in on_way)
            lines.append('%d\t%s\n' % (len(data), name.replace('/', '\\')))
            unpacked += len(data)
    os.replace(partial, out)
    with open(listing, 'w', encoding='utf-8') as f:
        f.writelines(lines)
    print('%s: %d files, %.1f MB, %.1f MB unpacked' % (out, len(lines), os.path.getsize(out) / 1e6, unpacked / 1e6))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else FILES)
