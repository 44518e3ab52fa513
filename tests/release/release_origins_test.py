#!/usr/bin/env python3
"""scripts/release refuses, before anything is built, an origins file that
would ship a program users cannot reach the vendor with, or a tree with
uncommitted changes; the message names the line at fault."""
import os
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, 'scripts', 'lib'))
import release_origins  # noqa: E402

NAMES = [name for name, _ in release_origins.origin_names()]
GOOD = open(os.path.join(SOURCE, 'tests', 'release', 'origins.txt'), encoding='utf-8').read()
failures = []


def check(condition, what, detail=''):
    print(('ok     ' if condition else 'FAILED ') + what + ('' if condition else '\n    ' + str(detail)))
    if not condition:
        failures.append(what)


def replaced(name, value):
    """The good file with NAME's line set to VALUE (None: the line dropped)."""
    lines = [line for line in GOOD.split('\n') if not line.startswith(name + '=')]
    if value is not None:
        lines.insert(3, name + '=' + value)
    return '\n'.join(lines)


# (what, file text, expected line number or None, words the message holds)
CASES = [
    ('the vendor origin over http', replaced('TW_VENDOR_ORIGIN', 'http://www.tarnwick.com'), 4, 'must use https://'),
    ('a Microsoft origin over http', replaced('TW_MS_DOWNLOAD_ORIGIN', 'http://download.ms.com'), 4, 'must use https://'),
    ('the shop over http is fine, over ftp not', replaced('TW_VENDOR_SHOP_ORIGIN', 'ftp://shop.tarnwick.com'), 4, 'http:// or https://'),
    ('a trailing slash', replaced('TW_VENDOR_ORIGIN', 'https://www.tarnwick.com/'), 4, 'trailing slash'),
    ('a path', replaced('TW_VENDOR_BLOG_ORIGIN', 'https://tarnwick.com/blog'), 4, 'no path'),
    ('a query', replaced('TW_VENDOR_BLOG_ORIGIN', 'https://tarnwick.com?x=1'), 4, 'no query'),
    ('a fragment', replaced('TW_VENDOR_BLOG_ORIGIN', 'https://tarnwick.com#top'), 4, 'no fragment'),
    ('a user name', replaced('TW_VENDOR_ORIGIN', 'https://me:pw@tarnwick.com'), 4, 'user name'),
    ('port zero', replaced('TW_VENDOR_ORIGIN', 'https://tarnwick.com:0'), 4, 'port'),
    ('port too large', replaced('TW_VENDOR_ORIGIN', 'https://tarnwick.com:65536'), 4, 'port'),
    ('an empty port', replaced('TW_VENDOR_ORIGIN', 'https://tarnwick.com:'), 4, 'port'),
    ('no host', replaced('TW_VENDOR_ORIGIN', 'https://:443'), 4, 'no host'),
    ('the placeholder', replaced('TW_VENDOR_ORIGIN', 'https://www.tarnwick.example'), 4, 'placeholder'),
    ('a name under .example', replaced('TW_AVAST_HELP_ORIGIN', 'https://example'), 4, 'placeholder'),
    ('loopback by address', replaced('TW_VENDOR_ORIGIN', 'https://127.0.0.1:18480'), 4, 'loopback'),
    ('loopback elsewhere in 127/8', replaced('TW_KINGSOFT_HELP_ORIGIN', 'http://127.8.9.1'), 4, 'loopback'),
    ('loopback by name', replaced('TW_VENDOR_ORIGIN', 'https://localhost'), 4, 'loopback'),
    ('a name below localhost', replaced('TW_VENDOR_ORIGIN', 'https://shop.localhost'), 4, 'loopback'),
    ('IPv6 loopback', replaced('TW_VENDOR_ORIGIN', 'https://[::1]:8443'), 4, 'loopback'),
    ('a private 10/8 address', replaced('TW_VENDOR_ORIGIN', 'https://10.1.2.3'), 4, 'private'),
    ('a private 172.16/12 address', replaced('TW_VENDOR_ORIGIN', 'https://172.31.255.1'), 4, 'private'),
    ('a private 192.168/16 address', replaced('TW_VENDOR_ORIGIN', 'https://192.168.1.10'), 4, 'private'),
    ('a link-local address', replaced('TW_VENDOR_ORIGIN', 'https://169.254.0.5'), 4, 'private'),
    ('a shared (carrier) address', replaced('TW_VENDOR_ORIGIN', 'https://100.64.0.1'), 4, 'private'),
    ('an IPv6 unique local address', replaced('TW_VENDOR_ORIGIN', 'https://[fd00::1]'), 4, 'private'),
    ('the unspecified address', replaced('TW_VENDOR_ORIGIN', 'https://0.0.0.0'), 4, 'unspecified'),
    ('a malformed address', replaced('TW_VENDOR_ORIGIN', 'https://300.1.1.1'), 4, 'IPv4'),
    ('a single-label name', replaced('TW_VENDOR_ORIGIN', 'https://intranet'), 4, 'single-label'),
    ('a .local name', replaced('TW_VENDOR_ORIGIN', 'https://files.local'), 4, 'local network'),
    ('an upper-case host', replaced('TW_VENDOR_ORIGIN', 'https://WWW.tarnwick.com'), 4, 'lower case'),
    ('an upper-case scheme', replaced('TW_VENDOR_ORIGIN', 'HTTPS://www.tarnwick.com'), 4, 'lower case'),
    ('an underscore in the host', replaced('TW_VENDOR_ORIGIN', 'https://my_host.com'), 4, 'not a host name'),
    ('a space after the value', replaced('TW_VENDOR_ORIGIN', 'https://www.tarnwick.com '), 4, 'spaces'),
    ('a missing name', replaced('TW_AVAST_HELP_ORIGIN', None), None, 'TW_AVAST_HELP_ORIGIN is missing'),
    ('a name given twice', GOOD + 'TW_VENDOR_ORIGIN=https://www.tarnwick.com\n', 13, 'given again (first on line 2)'),
    ('an unknown name', GOOD + 'TW_VENDOR_ORIGN=https://www.tarnwick.com\n', 13, 'not one of the origin names'),
    ('a line without =', GOOD + 'TW_VENDOR_ORIGIN https://www.tarnwick.com\n', 13, 'expected NAME=scheme://host[:port]'),
    ('not UTF-8', GOOD + '# caf\xe9\n', None, 'cannot read'),
]


def run_cases(folder):
    for what, text, line, words in CASES:
        path = os.path.join(folder, 'origins.txt')
        with open(path, 'wb') as f:
            f.write(text.encode('latin-1') if what == 'not UTF-8' else text.encode('utf-8'))
        _, errors = release_origins.read_origins(path, NAMES)
        where = '%s:%d: ' % (path, line) if line else path + ': '
        check(len(errors) == 1 and errors[0].startswith(where) and words in errors[0],
              'refused: %s (%s)' % (what, words), errors)


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'origins.txt')
        for what, text in (('the test origins', GOOD), ('CRLF line ends', GOOD.replace('\n', '\r\n')),
                           ('a public IPv4 address and a port', replaced('TW_VENDOR_ORIGIN', 'https://203.0.114.7:8443'))):
            with open(path, 'w', encoding='utf-8', newline='') as f:
                f.write(text)
            origins, errors = release_origins.read_origins(path, NAMES)
            check(not errors and list(origins) == NAMES, 'accepted: ' + what, errors)
        run_cases(folder)

        # The sample in the repository holds placeholders only: every line is refused.
        sample = os.path.join(SOURCE, 'resources', 'origins.sample')
        _, errors = release_origins.read_origins(sample, NAMES)
        check(len(errors) == 11 and all('placeholder' in e for e in errors), 'the sample is refused line by line', errors)

        # The script stops before it configures anything.
        build, dist = os.path.join(folder, 'build'), os.path.join(folder, 'dist')
        with open(path, 'w', encoding='utf-8') as f:
            f.write(replaced('TW_VENDOR_ORIGIN', 'http://www.tarnwick.com'))
        run = subprocess.run([os.path.join(SOURCE, 'scripts', 'release'), path, '--allow-dirty', '--build-dir', build,
                              '--dist', dist], capture_output=True, text=True)
        check(run.returncode != 0 and path + ':4: TW_VENDOR_ORIGIN=http://www.tarnwick.com: this origin must use https://'
              in run.stderr and 'nothing built' in run.stderr, 'scripts/release names the faulty line', run.stderr)
        check(not os.path.exists(build) and not os.path.exists(dist), 'nothing built or written after a refusal')

        # A tree with changes is refused unless --allow-dirty (an untracked file is a change: the build globs sources).
        marker = os.path.join(SOURCE, 'tests', 'release', 'untracked-%d.tmp' % os.getpid())
        try:
            open(marker, 'w').close()
            run = subprocess.run([os.path.join(SOURCE, 'scripts', 'release'), os.path.join(SOURCE, 'tests', 'release', 'origins.txt'),
                                  '--build-dir', build, '--dist', dist], capture_output=True, text=True)
        finally:
            os.remove(marker)
        check(run.returncode != 0 and 'uncommitted changes' in run.stderr,
              'a dirty tree is refused without --allow-dirty', run.stderr)
        check(not os.path.exists(build), 'nothing built for a dirty tree')
    print('%d failure(s)' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
