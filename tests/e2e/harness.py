"""Shared pieces of the whole-program tests: a private X display, the program
started under Wine in the tests' prefix, and the UI driver that reads and
clicks its windows. Standard library only."""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import time


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument('--wine-root', required=True)
    p.add_argument('--wine-run', required=True)
    p.add_argument('--setup', required=True)
    p.add_argument('--driver', required=True)
    p.add_argument('--engine-driver')
    p.add_argument('--server-root', help='the loopback vendor server\'s folder')
    p.add_argument('--origin', help='the vendor origin the build was made with')
    return p.parse_args()


POWERSHELL = 'drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe'  # the 64-bit one, via Sysnative
RECORDS = 'drive_c/windows/syswow64/WindowsPowerShell/v1.0/powershell.exe'  # the 32-bit one; both keep their files here


def wine_reg(session, *arguments):
    subprocess.run([session.args.wine_run, session.args.wine_root, 'reg', *arguments], env=session.env,
                   capture_output=True, timeout=120)


class ScriptedPowerShell:
    """The stand-in in place of Wine's PowerShell, preferred to the built-in one;
    session is anything with the tests' args and env."""

    def __init__(self, session):
        self.f = session
        prefix = os.path.join(session.args.wine_root, 'prefix')
        self.paths = [os.path.join(prefix, POWERSHELL), os.path.join(prefix, RECORDS)]
        self.records = self.paths[1]
        for path in self.paths:
            # A run ended before its restore left the original saved: keep that
            # one, not the stand-in it left in place.
            if not os.path.exists(path + '.tw-saved'):
                shutil.copy(path, path + '.tw-saved')
            shutil.copy(os.path.join(os.path.dirname(session.args.engine_driver), 'stand_in.exe'), path)
        self.script('exit 0\n')
        wine_reg(session, 'add', 'HKCU\\Software\\Wine\\DllOverrides', '/v', 'powershell.exe', '/d', 'native', '/f')
        self.forget()

    def script(self, text):
        with open(self.records + '.script', 'w') as out:
            out.write(text)

    def forget(self):
        for suffix in ('.args', '.cwd'):
            if os.path.exists(self.records + suffix):
                os.remove(self.records + suffix)

    def folders(self):
        """The folder of each Add-MpPreference call, in order."""
        found = []
        for line in (read(self.records + '.args') or b'').decode('utf-8', 'replace').splitlines():
            if "$path='" in line:
                found.append(line.split("$path='", 1)[1].split("'", 1)[0])
        return found

    def restore(self):
        wine_reg(self.f, 'delete', 'HKCU\\Software\\Wine\\DllOverrides', '/v', 'powershell.exe', '/f')
        for path in self.paths:
            shutil.move(path + '.tw-saved', path)
        for suffix in ('.script', '.args', '.cwd'):
            if os.path.exists(self.records + suffix):
                os.remove(self.records + suffix)


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except OSError:
        return None


class Display:
    """An Xvfb server on a free display number, 1280 x 1024 at 96 DPI."""

    def __enter__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_fd), '-screen', '0', '1280x1024x24', '-dpi', '96', '-nolisten', 'tcp'],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b''
        while not number.endswith(b'\n'):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError('Xvfb did not start')
            number += chunk
        os.close(read_fd)
        self.name = ':' + number.decode().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def prefix_user_folder(wine_root):
    """The Unix folder of the prefix's user (C:\\users\\<name>)."""
    users = [u for u in glob.glob(os.path.join(wine_root, 'prefix/drive_c/users/*')) if os.path.basename(u) != 'Public']
    return users[0]


class Checks:
    """Named checks, printed as they run; finish() fails the test if any failed."""

    def __init__(self):
        self.failures = []

    def check(self, condition, what):
        print(('ok     ' if condition else 'FAILED ') + what, flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def check_equal(self, actual, expected, what):
        ok = actual == expected
        self.check(ok, what)
        if not ok:
            print('    expected: %r\n    actual:   %r' % (expected, actual), flush=True)
        return ok

    def finish(self):
        if self.failures:
            print('%d check(s) failed' % len(self.failures))
            sys.exit(1)
        print('all checks passed')


class Session(Checks):
    """Runs Windows programs in the test prefix on one display."""

    def __init__(self, args, display):
        super().__init__()
        self.args = args
        self.env = dict(os.environ, DISPLAY=display.name, LANG='C.UTF-8', LC_ALL='C.UTF-8')
        # A Wine desktop left by an earlier run without a display would take
        # our windows; start from a fresh wineserver on this display.
        prefix_env = dict(self.env, WINEPREFIX=os.path.join(args.wine_root, 'prefix'))
        subprocess.run(['wineserver', '-k'], env=prefix_env, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-w'], env=prefix_env, stderr=subprocess.DEVNULL, timeout=60)

    # -- the prefix -------------------------------------------------------
    def user_folder(self):
        return prefix_user_folder(self.args.wine_root)

    def log_path(self):
        return os.path.join(self.user_folder(), 'AppData/Local/TwParcelwright/logs/install.log')

    def scratch(self, name):
        """A fresh folder for this test, outside the prefix, reachable as Z:."""
        path = os.path.join(self.args.wine_root, 'e2e', name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    # -- programs ---------------------------------------------------------
    def start(self, exe, *arguments):
        return subprocess.Popen([self.args.wine_run, self.args.wine_root, exe, *arguments], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def driver(self, *arguments, wait_ms=20000):
        proc = subprocess.run([self.args.wine_run, self.args.wine_root, self.args.driver, *arguments,
                               '--wait', str(wait_ms)], env=self.env, capture_output=True, timeout=120)
        return proc.returncode, proc.stdout.decode('utf-8', 'replace')


LINE = re.compile(r'^\s*(window|control) (.*)$')
FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')
ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '"': '"', '\\': '\\'}


def unescape(text):
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(1)), text)


def parse_fields(text):
    """The key=value fields of one line of the driver's output."""
    return {key: unescape(value[1:-1]) if value.startswith('"') else value for key, value in FIELD.findall(text)}


def parse_lines(output, kind):
    """The fields of each output line that starts with kind ("item", ...)."""
    return [parse_fields(line) for line in output.splitlines() if line.split(' ', 1)[0] == kind]


def parse_dump(output):
    """The driver's dump as a list of windows, each a dict with 'controls'."""
    windows = []
    for line in output.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        fields = parse_fields(m.group(2))
        if m.group(1) == 'window':
            fields['controls'] = []
            windows.append(fields)
        elif windows:
            windows[-1]['controls'].append(fields)
    return windows


def wait_exit(proc, seconds=60):
    try:
        return proc.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None
