#!/usr/bin/env python3
"""scripts/lib/windows_build.sh: when a Windows build folder is left alone and
when it is configured again, and on which port, with cmake replaced by a
recorder so nothing is built. Ports come from the kernel (bind to port 0)."""
import json
import os
import socket
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PORT_TOOL = os.path.join(SOURCE, 'tests', 'tools', 'loopback_port.py')
failures = []

# The function under test, with cmake recording its arguments one a line.
SCRIPT = r'''
cd "$1" || exit 99
source scripts/lib/windows_build.sh
record=$2
cmake() { printf '%s\n' "$@" >"$record"; }
configure_windows_build "$3" ${4:+"$4"}
'''


def check(condition, what, detail=''):
    print(('ok     ' if condition else 'FAILED ') + what + ('' if condition else '\n    ' + str(detail)))
    if not condition:
        failures.append(what)
    return condition


def listener():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    s.listen()
    return s, s.getsockname()[1]


def free_port():
    s, port = listener()
    s.close()
    return port


def preset_origins():
    with open(os.path.join(SOURCE, 'CMakePresets.json'), encoding='utf-8') as f:
        presets = json.load(f)['configurePresets']
    windows = next(p for p in presets if p['name'] == 'windows')
    return {k: v for k, v in windows['cacheVariables'].items() if k.endswith('_ORIGIN')}


def expected_definitions(port):
    # The preset's own origins, paths kept, on the new port.
    origins = preset_origins()
    base = origins['TW_VENDOR_ORIGIN']
    return sorted('-D%s=%s' % (k, 'http://127.0.0.1:%d' % port + v[len(base):]) for k, v in origins.items())


class Folder:
    def __init__(self, tmp, name, origin=None):
        self.dir = os.path.join(tmp, name)
        self.record = os.path.join(tmp, name + '.cmake-args')
        os.makedirs(self.dir)
        if origin:
            with open(os.path.join(self.dir, 'CMakeCache.txt'), 'w') as f:
                f.write('CMAKE_BUILD_TYPE:STRING=RelWithDebInfo\nTW_VENDOR_ORIGIN:STRING=%s\n' % origin)

    def configure(self, port=None):
        p = subprocess.run(['bash', '-c', SCRIPT, 'test', SOURCE, self.record, self.dir, str(port or '')],
                           capture_output=True, text=True, timeout=120)
        args = None
        if os.path.exists(self.record):
            with open(self.record) as f:
                args = f.read().splitlines()
            os.remove(self.record)
        return p.returncode, p.stdout.strip(), args

    def check_configured(self, args, what):
        """The port cmake was given, after checking the rest of its arguments."""
        if not check(args is not None, what + ': cmake runs'):
            return None
        defs = sorted(a for a in args if a.startswith('-D'))
        rest = [a for a in args if not a.startswith('-D')]
        check(rest == ['--preset', 'windows', '-B', self.dir], what + ': from the windows preset into the folder', rest)
        port = int(defs[0].split('127.0.0.1:')[1].split('/')[0]) if defs and '127.0.0.1:' in defs[0] else 0
        check(defs == expected_definitions(port), what + ': all eleven origins on one port', defs)
        return port


def main():
    check(len(preset_origins()) == 11, 'the windows preset has eleven origins', preset_origins())
    with tempfile.TemporaryDirectory() as tmp:
        port = free_port()
        rc, out, args = Folder(tmp, 'kept', 'http://127.0.0.1:%d' % port).configure()
        check(rc == 0 and out == '' and args is None, 'a configured folder on a free port is left alone', (rc, out, args))

        s, busy = listener()
        folder = Folder(tmp, 'moved', 'http://127.0.0.1:%d' % busy)
        rc, out, args = folder.configure()
        check(rc == 0, 'a configured folder on a busy port is configured again', rc)
        moved = folder.check_configured(args, 'moved off a busy port')
        check(moved and moved != busy, 'the new port differs from the busy one', moved)
        check(out == 'Port %d on 127.0.0.1 is busy; %s now uses port %s' % (busy, folder.dir, moved),
              'one line names the busy port and the new one', out)
        if moved:
            rc = subprocess.run([sys.executable, PORT_TOOL, 'free', str(moved)]).returncode
            check(rc == 0, 'the new port is free', moved)

        folder = Folder(tmp, 'fresh-busy')
        rc, out, args = folder.configure(busy)
        fresh = folder.check_configured(args, 'fresh folder, wished port busy')
        check(fresh and fresh != busy and str(busy) in out, 'a fresh folder moves off a busy wished port', (out, fresh))
        s.close()

        port = free_port()
        folder = Folder(tmp, 'fresh')
        rc, out, args = folder.configure(port)
        check(folder.check_configured(args, 'fresh folder') == port and out == '',
              'a fresh folder takes its wished port when free', (out, args))

        folder = Folder(tmp, 'any')
        rc, out, args = folder.configure('any')
        check(rc == 0 and folder.check_configured(args, 'fresh folder, any port') and out == '',
              'a fresh folder without a wish gets a port quietly', (rc, out))

        port = free_port()
        folder = Folder(tmp, 'not-loopback', 'https://www.tarnwick.example')
        rc, out, args = folder.configure(port)
        check(folder.check_configured(args, 'folder not on loopback') == port,
              'a folder whose origins are not on loopback is configured onto it', args)

    if failures:
        print('%d check(s) failed' % len(failures))
        return 1
    print('all checks passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
