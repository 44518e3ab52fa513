#!/usr/bin/env python3
"""scripts/release end to end: a signed build with a throw-away certificate,
what dist/ holds, that the signature verifies and breaks with one changed
byte, that the exe check catches each fault it exists for, and that a second
build in another folder gives the same bytes.

Usage: release_test.py --work DIR --loopback-exe EXE
(EXE: the release preset's own tw_setup.exe, whose origins are loopback.)"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, 'scripts', 'lib'))
import exe_check  # noqa: E402

ORIGINS = os.path.join(SOURCE, 'tests', 'release', 'origins.txt')
failures = []


def check(condition, what, detail=''):
    print(('ok     ' if condition else 'FAILED ') + what + ('' if condition else '\n    ' + str(detail)[:3000]), flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def make_certificate(folder):
    """A self-signed code-signing certificate in a PFX with a password file."""
    key, cert = os.path.join(folder, 'key.pem'), os.path.join(folder, 'cert.pem')
    pfx, password = os.path.join(folder, 'signing.pfx'), os.path.join(folder, 'password')
    with open(password, 'w') as f:
        f.write('throw-away\n')
    made = run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert,
                '-days', '2', '-subj', '/CN=Tarnwick Release Test', '-addext', 'extendedKeyUsage=codeSigning',
                '-addext', 'keyUsage=digitalSignature'])
    made = made.returncode == 0 and run(['openssl', 'pkcs12', '-export', '-inkey', key, '-in', cert, '-out', pfx,
                                         '-passout', 'file:' + password]).returncode == 0
    check(made, 'a throw-away code-signing certificate')
    return cert, pfx, password


def tree_is_clean():
    return run(['git', 'status', '--porcelain', '--untracked-files=all'], cwd=SOURCE).stdout == ''


def release(work, name, *extra):
    build, dist = os.path.join(work, name + '-build'), os.path.join(work, name + '-dist')
    release.clean = tree_is_clean()
    result = run([os.path.join(SOURCE, 'scripts', 'release'), ORIGINS, '--allow-dirty', '--build-dir', build,
                  '--dist', dist] + list(extra), cwd=SOURCE)
    check(result.returncode == 0, 'scripts/release (%s) succeeds' % name, result.stdout[-3000:] + result.stderr)
    return build, dist, result.stdout


def check_dist(dist, stdout):
    names = sorted(os.listdir(dist))
    check(names == ['BUILDINFO', 'SHA256SUMS', 'tw_setup-unsigned.exe', 'tw_setup.debug', 'tw_setup.exe'],
          'dist holds the signed and unsigned exe, the debug file, SHA256SUMS and BUILDINFO', names)
    sums = {}
    for line in read(os.path.join(dist, 'SHA256SUMS')).decode().splitlines():
        digest, _, name = line.partition('  ')
        sums[name] = digest
    check(sums == {n: hashlib.sha256(read(os.path.join(dist, n))).hexdigest()
                   for n in ('tw_setup.exe', 'tw_setup-unsigned.exe', 'tw_setup.debug')},
          'SHA256SUMS lists the signed exe, the unsigned exe and the debug file with their digests', sums)
    info = read(os.path.join(dist, 'BUILDINFO')).decode()
    head = run(['git', 'rev-parse', 'HEAD'], cwd=SOURCE).stdout.strip()
    clean = release.clean
    origins = [line for line in read(ORIGINS).decode().splitlines() if line.startswith('TW_')]
    check('commit: %s\n' % head in info and ('tree: clean\n' in info) == clean and ('--allow-dirty' in info) != clean,
          'BUILDINFO names the commit and whether the tree was clean', info)
    check(all('  %s\n' % o in info for o in origins) and 'compiler: i686-w64-mingw32-g++-posix' in info
          and 'osslsigncode: ' in info and 'signed: Authenticode, SHA-256, by CN=Tarnwick Release Test' in info,
          'BUILDINFO lists the origins, the tool versions and the signature', info)
    check('tw_setup.exe: %d bytes' % os.path.getsize(os.path.join(dist, 'tw_setup.exe')) in stdout,
          'scripts/release prints the size it checked', stdout[-1500:])


def check_debug_split(dist):
    exe = exe_check.Pe(read(os.path.join(dist, 'tw_setup-unsigned.exe')))
    link = [s for s in exe.sections if s[0] == '.gnu_debuglink']
    if not check(len(link) == 1, 'the exe names its debug file in .gnu_debuglink', [s[0] for s in exe.sections]):
        return
    _, _, _, raw, size = link[0]
    body = exe.data[raw:raw + size]
    name = body[:body.index(b'\0')].decode()
    crc = struct.unpack_from('<I', body, (len(name) + 4) & ~3)[0]
    debug = read(os.path.join(dist, 'tw_setup.debug'))
    check(name == 'tw_setup.debug' and crc == zlib.crc32(debug), 'the link holds the debug file\'s name and CRC',
          (name, crc, zlib.crc32(debug)))
    sections = [s[0] for s in exe_check.Pe(debug).sections]
    check('.debug_info' in sections and '.debug_line' in sections, 'the debug file holds the debug information', sections)
    paths = [p for p in (SOURCE, os.path.dirname(dist)) if p.encode() in debug or p.encode() in exe.data]
    check(not paths, 'no source or build folder path in the exe or the debug file', paths)
    # A crash address from the field resolves through the link to a source line.
    symbols = run(['i686-w64-mingw32-nm', os.path.join(dist, 'tw_setup.debug')]).stdout.split('\n')
    entry = [line.split()[0] for line in symbols if line.endswith(' _wWinMain@16')]
    where = run(['i686-w64-mingw32-addr2line', '-e', os.path.join(dist, 'tw_setup-unsigned.exe'), '0x' + entry[0]]
                if entry else ['true']).stdout
    check(re.search(r'src/startup/main_win\.cpp:[0-9]+$', where.strip()) is not None,
          'addr2line on the exe finds wWinMain in main_win.cpp', (entry, where))


def check_signature(dist, cert, work):
    signed, unsigned = os.path.join(dist, 'tw_setup.exe'), os.path.join(dist, 'tw_setup-unsigned.exe')
    verified = run(['osslsigncode', 'verify', '-CAfile', cert, '-in', signed])
    check(verified.returncode == 0, 'the signed exe verifies against the certificate', verified.stdout + verified.stderr)
    check('SHA256' in verified.stdout.upper().replace('-', ''), 'the signature uses SHA-256', verified.stdout)
    data = bytearray(read(signed))
    pe = exe_check.Pe(bytes(data))
    text = next(s for s in pe.sections if s[0] == '.text')
    data[text[3] + 0x100] ^= 0x01
    tampered = os.path.join(work, 'tampered.exe')
    with open(tampered, 'wb') as f:
        f.write(data)
    broken = run(['osslsigncode', 'verify', '-CAfile', cert, '-in', tampered])
    check(broken.returncode != 0, 'one changed byte in the code breaks the verification', broken.stdout)
    bare = run(['osslsigncode', 'verify', '-CAfile', cert, '-in', unsigned])
    check(bare.returncode != 0, 'the unsigned exe does not verify')


def patched(data, at, new):
    data = bytearray(data)
    data[at:at + len(new)] = new
    return bytes(data)


def exe_check_cases(exe, loopback_exe, work):
    """(what, exe bytes, allowlist path, fault the check must name)."""
    data = read(exe)
    pe = exe_check.Pe(data)
    opt = pe.u32(0x3C) + 24
    vendor = 'https://downloads.tarnwick-release-check.com'.encode('utf-16-le')
    manifest_level = data.index(b'"requireAdministrator"')
    allowlist = os.path.join(SOURCE, 'resources', 'exe_imports.allow')
    fewer = os.path.join(work, 'fewer.allow')
    with open(allowlist) as f, open(fewer, 'w') as out:
        out.writelines(line for line in f if not line.startswith('ntdll.dll!NtCreateFile'))
    return [
        ('the shipped exe passes', data, allowlist, None),
        ('an import missing from the allowlist', data, fewer, 'import ntdll.dll!NtCreateFile is not in the allowlist'),
        ('a 64-bit machine type', patched(data, opt - 20, struct.pack('<H', 0x8664)), allowlist, 'not a 32-bit x86'),
        ('a console program', patched(data, opt + 68, struct.pack('<H', 3)), allowlist, 'not a Windows GUI'),
        ('no ASLR', patched(data, opt + 70, struct.pack('<H', pe.dll_characteristics & ~0x40)), allowlist, 'ASLR is off'),
        ('no DEP', patched(data, opt + 70, struct.pack('<H', pe.dll_characteristics & ~0x100)), allowlist, 'DEP is off'),
        ('a link time in the header', patched(data, opt - 16, struct.pack('<I', 0x65000000)), allowlist, 'timestamp'),
        ('a manifest asking for less', patched(data, manifest_level, b'"highestAvailable"    '), allowlist,
         'not requireAdministrator'),
        ('a placeholder origin', patched(data, data.index(vendor), 'https://www.tarnwick.example\0'.encode('utf-16-le')),
         allowlist, 'https://www.tarnwick.example in the exe: the host is a placeholder'),
        ('loopback origins (the release preset with test origins)', read(loopback_exe), allowlist,
         'the host is a loopback address'),
        ('4 MiB or more', data + bytes(exe_check.MAX_SIZE - len(data)), allowlist, 'not under 4194304'),
        ('not a PE file', b'MZ' + bytes(200), allowlist, 'not a PE file'),
    ]


def check_exe_check(dist, loopback_exe, work):
    version = read(os.path.join(SOURCE, 'VERSION')).decode().strip()
    exe = os.path.join(dist, 'tw_setup-unsigned.exe')
    for what, data, allowlist, fault in exe_check_cases(exe, loopback_exe, work):
        path = os.path.join(work, 'case.exe')
        with open(path, 'wb') as f:
            f.write(data)
        faults, _ = exe_check.check(path, exe_check.read_allowlist(allowlist), version)
        if fault is None:
            check(faults == [], 'exe check: ' + what, faults)
        else:
            check(any(fault in f for f in faults), 'exe check: %s is caught' % what, faults)
    faults, _ = exe_check.check(exe, exe_check.read_allowlist(os.path.join(SOURCE, 'resources', 'exe_imports.allow')),
                                '1.0.0.1' if version != '1.0.0.1' else '1.0.0.2')
    check(len([f for f in faults if 'version' in f]) == 5,
          'exe check: a version other than VERSION is named in the manifest and all four version fields', faults)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--work', required=True)
    parser.add_argument('--loopback-exe', required=True)
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    cert, pfx, password = make_certificate(args.work)
    _, dist, stdout = release(args.work, 'signed', '--sign', pfx, '--password-file', password)
    if os.path.isdir(dist):
        check_dist(dist, stdout)
        check_debug_split(dist)
        check_signature(dist, cert, args.work)
        check_exe_check(dist, args.loopback_exe, args.work)
        # Another folder, at another depth and time: the same bytes.
        _, second, _ = release(os.path.join(args.work, 'another', 'folder'), 'unsigned')
        for first, again in (('tw_setup-unsigned.exe', 'tw_setup.exe'), ('tw_setup.debug', 'tw_setup.debug')):
            a, b = os.path.join(dist, first), os.path.join(second, again)
            check(os.path.exists(b) and read(a) == read(b), 'reproducible: %s is the same from a second folder' % first)
    if not failures:
        shutil.rmtree(args.work, ignore_errors=True)
    print('%d failure(s)' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
