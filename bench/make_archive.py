#!/usr/bin/env python3
"""Builds the extraction benchmark's archive: a ZIP of about 350 MB, deflated,
of system files in a fixed order (the C headers, the fonts, then the shared
libraries until the size is reached), with fixed times and modes, so the same
machine always gets the same archive. It stays inside what the installer
accepts: fewer than 65,535 entries, entries under 256 MiB, the whole under
512 MiB, no ZIP64, and only names its path rules allow.
Usage: make_archive.py OUT.zip"""
import os
import re
import sys
import zipfile

SOURCES = ['/usr/include', '/usr/share/fonts', '/usr/lib/x86_64-linux-gnu']
TARGET_SIZE = 350 * 1000 * 1000
# With the archive stopped at TARGET_SIZE, one more entry of at most this size
# still leaves it under 512 MiB.
LARGEST_ENTRY = 128 * 1024 * 1024
SAFE_NAME = re.compile(r'^[A-Za-z0-9_+-][A-Za-z0-9._+-]*$')
DEVICE = re.compile(r'^(con|prn|aux|nul|com[1-9]|lpt[1-9])$', re.IGNORECASE)


def add_file(z, path, name):
    """Stores the file at path as name, deflated, with a fixed date; returns its bytes."""
    with open(path, 'rb') as source:
        data = source.read()
    info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
    info.external_attr = 0o644 << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, data)
    return data


def name_allowed(name):
    return all(SAFE_NAME.match(s) and not s.endswith('.') and not DEVICE.match(s.split('.')[0])
               for s in name.split('/'))


def sorted_files(top):
    for folder, dirs, files in os.walk(top):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            if os.path.isfile(path) and not os.path.islink(path):
                yield path


def main(out):
    partial = out + '.partial'
    count = 0
    largest = 0
    with open(partial, 'wb') as f, zipfile.ZipFile(f, 'w', zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for path in (p for top in SOURCES for p in sorted_files(top)):
            if f.tell() >= TARGET_SIZE or count == 60000:
                break
            name = path.lstrip('/')
            if os.path.getsize(path) > LARGEST_ENTRY or not name_allowed(name) or not os.access(path, os.R_OK):
                continue
            data = add_file(z, path, name)
            count += 1
            largest = max(largest, len(data))
    os.replace(partial, out)
    print('%s: %d entries, %.1f MB, largest entry %.1f MB' % (out, count, os.path.getsize(out) / 1e6, largest / 1e6))


if __name__ == '__main__':
    main(sys.argv[1])
