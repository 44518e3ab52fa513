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


def pack_bits(fields):
    """(value, width, msb_first) fields packed LSB first into bytes, as DEFLATE reads them."""
    bits = []
    for value, width, msb_first in fields:
        order = range(width - 1, -1, -1) if msb_first else range(width)
        bits.extend((value >> i) & 1 for i in order)
    bits.extend([0] * (-len(bits) % 8))
    return bytes(sum(bit << i for i, bit in enumerate(bits[at:at + 8])) for at in range(0, len(bits), 8))


def check_both_decoders(tool, tmp):
    """The decoder extraction uses and the reference give the same result line
    and leave the same bytes on disk, for good and bad streams."""
    data = b''.join(b'%d: %s\n' % (i, b'abcdefgh'[i % 8:] * (i % 13)) for i in range(20000))
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    stream = c.compress(data) + c.flush()
    # Fixed-Huffman block: length 3 (symbol 257) at distance 1 before any output.
    too_far = pack_bits([(1, 1, False), (1, 2, False), (1, 7, True), (0, 5, True)])
    cases = [
        # name, stream, --size, result line, output
        ('valid stream', stream, len(data), 'result=0 produced=%d\n' % len(data), data),
        ('truncated stream', stream[:len(stream) // 2], len(data), 'result=-1 produced=0\n', b''),
        ('--size one short', stream, len(data) - 1, 'result=-3 produced=0\n', b''),
        ('--size 0', stream, 0, 'result=-3 produced=0\n', b''),
        ('distance before the start', too_far, 10, 'result=-8 produced=0\n', b''),
    ]
    packed = os.path.join(tmp, 'both.raw')
    for name, content, size, line, expected in cases:
        with open(packed, 'wb') as f:
            f.write(content)
        seen = []
        for extra in ([], ['--reference']):
            out = os.path.join(tmp, 'both%d.bin' % len(seen))
            rc, stdout, _ = run(tool, 'inflate', packed, out, '--size', str(size), *extra)
            with open(out, 'rb') as f:
                seen.append((rc, stdout, f.read()))
        check(seen[0] == seen[1], name + ': both decoders agree')
        check(seen[1] == (0 if expected == data else 1, line, expected), name + ': ' + line.strip())


def check_reference_placement(tool, tmp):
    data = b'placement ' * 100
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = os.path.join(tmp, 'place.raw')
    with open(packed, 'wb') as f:
        f.write(c.compress(data) + c.flush())
    out = os.path.join(tmp, 'place.bin')
    size = str(len(data))
    accepted = [
        ['inflate', '--reference', packed, out, '--size', size],
        ['inflate', packed, '--reference', out, '--size', size],
        ['inflate', packed, out, '--reference', '--size', size],
        ['inflate', packed, out, '--size', size, '--reference'],
    ]
    for args in accepted:
        if os.path.exists(out):
            os.remove(out)
        rc, stdout, _ = run(tool, *args)
        check(rc == 0 and stdout == 'result=0 produced=%s\n' % size and open(out, 'rb').read() == data,
              'accepted: ' + ' '.join(a if a in ('inflate', '--reference', '--size') else '.' for a in args))
    refused = [
        ('between --size and N', ['inflate', packed, out, '--size', '--reference', size]),
        ('in place of N', ['inflate', packed, out, '--size', '--reference']),
        ('twice', ['inflate', packed, out, '--size', size, '--reference', '--reference']),
        ('twice, apart', ['inflate', '--reference', packed, out, '--size', size, '--reference']),
        ('before the command', ['--reference', 'inflate', packed, out, '--size', size]),
        ('misspelt', ['inflate', packed, out, '--size', size, '--Reference']),
        ('with = value', ['inflate', packed, out, '--size', size, '--reference=1']),
    ]
    for what, args in refused:
        if os.path.exists(out):
            os.remove(out)
        rc, stdout, stderr = run(tool, *args)
        check(rc == 2 and stdout == '' and 'usage: parcelwright' in stderr and 'inflate IN OUT --size N [--reference]'
              in stderr and not os.path.exists(out), '--reference ' + what + ' is a usage error')


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
        check_both_decoders(tool, tmp)
        check_reference_placement(tool, tmp)

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
