#!/usr/bin/env python3
"""`parcelwright zip check` on archives made here with zipfile."""
import os
import subprocess
import sys
import tempfile
import zipfile

ENTRY_FAILED = '解压安装失败，可能安装包下载时损坏、未下载完成等情况导致，请您重新下载或联系客服'
FORMAT = 'ZIP 格式不支持、为空或使用ZIP64/分卷，请使用官网手动安装。'
TOO_LARGE = '抱歉安装包过大，您可以到官网手动下载'
failures = []


def check(condition, what, detail=''):
    print(('ok     ' if condition else 'FAILED ') + what + ('' if condition else '\n    ' + detail))
    if not condition:
        failures.append(what)


def run(tool, path):
    p = subprocess.run([tool, 'zip', 'check', path], capture_output=True, timeout=60)
    return p.returncode, p.stdout.decode('utf-8')


def make(path, entries):
    with zipfile.ZipFile(path, 'w') as z:
        for name, data, method in entries:
            z.writestr(zipfile.ZipInfo(name), data, compress_type=method)


def main(tool):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, 'a.zip')
        make(path, [('bin/', b'', zipfile.ZIP_STORED), ('bin/tool.exe', b'x' * 1000, zipfile.ZIP_DEFLATED),
                    ('说明.txt', b'hello', zipfile.ZIP_STORED), ('empty', b'', zipfile.ZIP_STORED)])
        rc, out = run(tool, path)
        lines = out.splitlines()
        check(rc == 0 and lines[-1] == 'ok', 'a good archive passes', out)
        check(lines[0] == 'dir\tbin', 'directory line', out)
        check(lines[1].startswith('file\tbin\\tool.exe\t8\t') and lines[1].endswith('\t1000'), 'deflated file line', out)
        check(lines[2] == 'file\t说明.txt\t0\t5\t5', 'UTF-8 name', out)
        check(lines[3] == 'file\tempty\t0\t0\t0', 'empty file', out)

        # A GBK name without the UTF-8 flag: written as a placeholder, then patched.
        gbk = '中文.txt'.encode('gbk')
        make(path, [('abcd.txt', b'data', zipfile.ZIP_STORED)])
        with open(path, 'rb') as f:
            data = f.read().replace(b'abcd.txt', gbk)
        with open(path, 'wb') as f:
            f.write(data)
        rc, out = run(tool, path)
        check(rc == 0 and out.splitlines()[0] == 'file\t中文.txt\t0\t4\t4', 'GBK name', out)

        for name, what in [('../evil.txt', 'climbing out'), ('con.txt', 'device name'), ('a/./b', 'dot segment'),
                           ('C:/x.dll', 'drive letter')]:
            make(path, [('first.txt', b'1', zipfile.ZIP_STORED), (name, b'x', zipfile.ZIP_STORED)])
            rc, out = run(tool, path)
            check(rc == 1 and out.splitlines()[-1] == ENTRY_FAILED and out.startswith('file\tfirst.txt'),
                  'refused: ' + what, out)

        make(path, [])
        rc, out = run(tool, path)
        check(rc == 1 and out == FORMAT + '\n', 'empty archive', out)
        with open(path, 'wb') as f:
            f.write(b'PK\x05\x06')
        rc, out = run(tool, path)
        check(rc == 1 and out == TOO_LARGE + '\n', 'shorter than an end record', out)
        p = subprocess.run([tool, 'zip', 'check'], capture_output=True)
        check(p.returncode == 2, 'missing file argument')
        with open(path, 'wb'):
            pass
        rc, out = run(tool, path)
        check(rc == 1 and out == TOO_LARGE + '\n', 'empty file', out)
        for target, what in [(os.path.join(tmp, 'missing.zip'), 'missing file'), (tmp, 'a folder')]:
            rc, out = run(tool, target)
            check(rc == 2 and out == '', 'usage for ' + what, out)

        # Views start on page boundaries: data just before, on and after one.
        data = bytes((i * 7 + (i >> 9)) & 0xFF for i in range(100000))
        for start in (4095, 4096, 4097, 65536):
            with open(path, 'wb') as f:
                f.write(b'S' * (start - 30 - len('p.bin')))
            with zipfile.ZipFile(path, 'a') as z:
                z.writestr(zipfile.ZipInfo('p.bin'), data, compress_type=zipfile.ZIP_STORED)
            rc, out = run(tool, path)
            check(rc == 0 and out == 'file\tp.bin\t0\t100000\t100000\nok\n', 'data starting at %d' % start, out)

    if failures:
        sys.exit(1)


if __name__ == '__main__':
    main(sys.argv[1])
