#!/usr/bin/env python3
"""`parcelwright inflate`, `parcelwright format` and the file checks of
`parcelwright catalog check` on files made here."""
import os
import subprocess
import sys
import tempfile
import zlib

failures = []


def check(condition, what):
    print(('ok     ' if condition else 'FAILED ') + what)
    if not condition:
        failures.append(what)


def run(tool, *args):
    p = subprocess.run([tool, *args], capture_output=True, timeout=60)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def main(tool):
    with tempfile.TemporaryDirectory() as tmp:
        data = b''.join(b'line %d of the sample text\n' % i for i in range(5000))
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = os.path.join(tmp, 'in.raw')
        with open(packed, 'wb') as f:
            f.write(c.compress(data) + c.flush() + b'trailing bytes are ignored')
        out = os.path.join(tmp, 'out.bin')

        rc, stdout, _ = run(tool, 'inflate', packed, out, '--size', str(len(data)))
        check(rc == 0 and stdout == 'result=0 produced=%d\n' % len(data), 'exact size decodes')
        check(open(out, 'rb').read() == data, 'output bytes match')
        rc, stdout, _ = run(tool, 'inflate', packed, out, '--size', str(len(data) - 1))
        check(rc == 1 and stdout == 'result=-3 produced=0\n', 'one byte short is -3')
        with open(packed, 'wb') as f:
            f.write(b'\x07')
        rc, stdout, _ = run(tool, 'inflate', packed, out, '--size', '10')
        check(rc == 1 and stdout == 'result=-4 produced=0\n', 'reserved block type is -4')
        rc, _, stderr = run(tool, 'inflate', packed, out, '--size', '-1')
        check(rc == 2 and 'usage' in stderr, 'a bad size is a usage error')

        cases = [
            (b'PK\x03\x04' + b'\0' * 30, '1 ZIP'),
            (b'Rar!\x1a\x07\x01\x00', '2 RAR'),
            (b'7z\xbc\xaf\x27\x1c\0\0', '3 7Z'),
            (b'MZ' + b'Rar!\x1a\x07', '4 RAR_SFX'),
            (b'MZ' + b'\0' * 100 + b'7z\xbc\xaf\x27\x1c', '5 7Z_SFX'),
            (b'MZ\0\0\0\0\0', '6 EXE'),
            (b'PK\x03\x04\0', '0 \u672a\u77e5'),
        ]
        for content, expected in cases:
            path = os.path.join(tmp, 'f.bin')
            with open(path, 'wb') as f:
                f.write(content)
            rc, stdout, _ = run(tool, 'format', path)
            check(rc == 0 and stdout == expected + '\n', 'format ' + expected)
        rc, _, stderr = run(tool, 'format', os.path.join(tmp, 'missing'))
        check(rc == 2, 'format of a missing file is a usage error')

        # A folder or a path that cannot be read is a usage error, not a bad catalog.
        for what, path in (('a folder', tmp), ('a missing file', os.path.join(tmp, 'missing'))):
            rc, stdout, stderr = run(tool, 'catalog', 'check', path)
            check(rc == 2 and stdout == '' and 'usage: parcelwright catalog check' in stderr,
                  'catalog check of %s is a usage error' % what)
            rc, _, _ = run(tool, 'format', path)
            check(rc == 2, 'format of %s is a usage error' % what)
    if failures:
        sys.exit(1)


if __name__ == '__main__':
    main(sys.argv[1])
