"""Whole flows through engine_driver.exe without a window: a catalog and
packages made by the test on the loopback vendor server, the driver run in the
tests' Wine prefix, and what it left on disk read back from the Unix side.
Standard library only."""
import io
import json
import os
import shutil
import subprocess
import time
import zipfile

import harness

CATALOG_TARGET = '/?route=%5Eapp/install/get_list&install_oem_id=1'


def make_zip(entries):
    """A deflated ZIP of {name: bytes}, in the order given."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in entries.items():
            z.writestr(name, data)
    return buffer.getvalue()


class Flow(harness.Checks):
    def __init__(self, args, name):
        super().__init__()
        self.args = args
        self.name = name
        self.prefix = os.path.join(args.wine_root, 'prefix')
        self.env = dict(os.environ, LANG='C.UTF-8', LC_ALL='C.UTF-8', DISPLAY='')
        self.served = os.path.join(args.server_root, 'flow-' + name)
        shutil.rmtree(self.served, ignore_errors=True)
        os.makedirs(self.served)
        self.rules = {}

    # -- the prefix ---------------------------------------------------------
    def user_folder(self):
        return harness.prefix_user_folder(self.args.wine_root)

    def unix(self, windows_path):
        """The Unix path of C:\\... or Z:\\... ."""
        drive, rest = windows_path[0].lower(), windows_path[3:].replace('\\', '/')
        if drive == 'z':
            return '/' + rest
        return os.path.join(self.prefix, 'drive_' + drive, rest)

    def fresh_root(self, name):
        """C:\\<name>, emptied."""
        shutil.rmtree(self.unix('C:\\' + name), ignore_errors=True)
        return 'C:\\' + name

    def manifest_path(self, puc_type):
        return os.path.join(self.user_folder(), 'AppData/Local/TwParcelwright/installed/%s.manifest' % puc_type)

    def manifest(self, puc_type):
        try:
            with open(self.manifest_path(puc_type), 'rb') as f:
                return f.read().decode('utf-16-le')
        except OSError:
            return None

    def forget(self, puc_type):
        if os.path.exists(self.manifest_path(puc_type)):
            os.remove(self.manifest_path(puc_type))

    def desktop(self, name):
        return os.path.join(self.user_folder(), 'Desktop', name)

    def log(self):
        try:
            with open(os.path.join(self.user_folder(), 'AppData/Local/TwParcelwright/logs/install.log'), 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except OSError:
            return ''

    # -- the server ---------------------------------------------------------
    def serve(self, name, data=None, **rule):
        """Publishes data (or only a rule) at /flow-<test>/<name>; returns its address."""
        target = '/flow-%s/%s' % (self.name, name)
        if data is not None:
            with open(os.path.join(self.served, name), 'wb') as f:
                f.write(data)
        self.rules[target] = rule
        self._write_rules()
        return self.args.origin + target

    def gate(self, name):
        """A gate for a held answer (serve(..., hold_after=N, hold_until=gate)):
        the server sends N bytes and waits until release(name)."""
        return 'flow-%s/%s.released' % (self.name, name)

    def release(self, name):
        open(os.path.join(self.served, name + '.released'), 'w').close()

    def serve_at(self, target, data):
        """Publishes data at a fixed server path (a prerequisite's link)."""
        name = target.strip('/').replace('/', '_').replace('?', '_')
        with open(os.path.join(self.served, name), 'wb') as f:
            f.write(data)
        self.rules[target] = {'body_file': 'flow-%s/%s' % (self.name, name)}
        self._write_rules()

    def script(self, name, text):
        """A stand-in script in the served folder; returns its Windows path."""
        path = os.path.join(self.served, name)
        with open(path, 'w') as f:
            f.write(text)
        return 'Z:' + path.replace('/', '\\')

    def catalog(self, items):
        body = json.dumps({'code': '0', 'error_code': '0', 'msg': '', 'val': {'items': items}}, ensure_ascii=False)
        with open(os.path.join(self.served, 'catalog.json'), 'wb') as f:
            f.write(body.encode('utf-8'))
        self.rules[CATALOG_TARGET] = {'body_file': 'flow-%s/catalog.json' % self.name,
                                      'content_type': 'application/json'}
        self._write_rules()

    def _write_rules(self):
        rules = {k: v for k, v in self.rules.items() if v}
        with open(os.path.join(self.args.server_root, 'rules-flow-%s.json' % self.name), 'w') as f:
            json.dump(rules, f)

    def requests(self, path=None, since=0):
        """The logged requests (for path only, when given), from the since-th on."""
        try:
            with open(os.path.join(self.args.server_root, 'requests.log'), encoding='utf-8') as f:
                lines = [json.loads(line) for line in f if line.strip()]
        except OSError:
            return []
        return [r for r in lines[since:] if path is None or r['path'] == path]

    def close(self):
        try:
            os.remove(os.path.join(self.args.server_root, 'rules-flow-%s.json' % self.name))
        except OSError:
            pass

    # -- the driver ---------------------------------------------------------
    def start(self, *arguments, env=None):
        """The driver started in the background; read its result with wait()."""
        return subprocess.Popen([self.args.wine_run, self.args.wine_root, self.args.engine_driver, *arguments],
                                env=dict(self.env, **(env or {})), stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def start_killable(self, program, *arguments):
        """A program run by wine itself, so that killing the returned process
        ends the Windows program at once, as a crash or a power cut would."""
        prefix_env = dict(self.env, WINEPREFIX=self.prefix, HOME=os.path.join(self.args.wine_root, 'home'),
                          WINEDEBUG='-all', WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=;mshtml=')
        return subprocess.Popen(['wine', program, *arguments], env=prefix_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @staticmethod
    def wait(proc, seconds=300):
        out, err = proc.communicate(timeout=seconds)
        results = {}
        for line in out.decode('utf-8', 'replace').splitlines():
            if line.strip().startswith('{'):
                item = json.loads(line)
                results[item.get('puc_type', 'error')] = item
        return proc.returncode, results, err.decode('utf-8', 'replace')

    def run(self, *arguments, env=None):
        """(exit code, {puc_type: result}, standard error) of one driver run."""
        proc = subprocess.run([self.args.wine_run, self.args.wine_root, self.args.engine_driver, *arguments],
                              env=dict(self.env, **(env or {})), capture_output=True, timeout=300)
        results = {}
        for line in proc.stdout.decode('utf-8', 'replace').splitlines():
            line = line.strip()
            if line.startswith('{'):
                item = json.loads(line)
                results[item.get('puc_type', 'error')] = item
        return proc.returncode, results, proc.stderr.decode('utf-8', 'replace')

def wait_for(condition, seconds=30):
    """Polls condition until it holds or the time is up; its last answer."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def stand_in(args):
    """The bytes of the scripted stand-in program."""
    return read(os.path.join(os.path.dirname(args.engine_driver), 'stand_in.exe'))


read = harness.read


def tree(folder):
    """{relative path: bytes} of every file below folder."""
    found = {}
    for base, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(base, name)
            found[os.path.relpath(full, folder).replace(os.sep, '\\')] = read(full)
    return found
