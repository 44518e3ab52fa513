#!/usr/bin/env python3
"""The install figure: `engine_driver.exe --direct` installing one ZIP package
of system files (make_install_package.py) from the loopback vendor server under
Wine, against the floor, create_files.exe (bench/create_files_win.c), which
only creates the same files with the same sizes under Wine, and against the
least install, `create_files.exe --as-install`, which does only the file work
the install cannot leave out (each file staged, read back, then copied into
the product folder after a flushed record line). Rounds interleave the three
(their order rotating), with `sync` before each run, a fresh folder each time
and a minute since the last deletion (see Bench.clean); each is timed as a
whole process by the wall clock (the disk is part of the job). The phases of each install come from the install log: a
thread reads the new lines every 50 ms and notes when each phase's line
appeared (the log's own stamps are whole seconds).
With --flush-package, a last, untimed install of that (smaller) package runs
under `strace` (fsync, fdatasync, sync_file_range and syncfs of every Wine
process, the wineserver included) to count the flushes to disk per deployed
file: the count per file does not depend on how many there are, and a flush
costs as much under strace as without.
Usage: install_bench.py --wine-root W --wine-run R --engine-driver E --floor F
         --server-root S --origin O --package ZIP --list LIST [--rounds N]
         [--flush-package ZIP --flush-list LIST]
The vendor server must already serve --server-root on --origin's port."""
import argparse
import collections
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import flows  # noqa: E402

PUC = '990'
NAME = 'BenchPackage'
GOAL = 3.0
# The phases and the log line that ends each (the line before starts it).
PHASES = [('start', '正在下载安装包'), ('download', '安装包格式识别'), ('checks', '以解压部署模式'),
          ('extraction', '解压结果'), ('deployment', '部署结果'), ('manifest', '已保存产品')]
TIMEOUT_S = 1800
ROOTS = ('BenchRoot', 'BenchFloor', 'BenchLeast')
SETTLE_S = 65


class LogWatch:
    """Notes when each new line of the install log appears."""

    def __init__(self, path):
        self.path = path
        self.offset = os.path.getsize(path) if os.path.exists(path) else 0
        self.seen = []  # (monotonic seconds, line)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def read_new(self):
        try:
            with open(self.path, 'rb') as f:
                f.seek(self.offset)
                data = f.read()
        except OSError:
            return
        end = data.rfind(b'\n') + 1
        now = time.monotonic()
        for line in data[:end].decode('utf-8', 'replace').splitlines():
            self.seen.append((now, line))
        self.offset += end

    def run(self):
        while not self.stop.wait(0.05):
            self.read_new()

    def finish(self):
        self.stop.set()
        self.thread.join()
        self.read_new()
        return self.seen


def product_line(line):
    """The product flow's text of a log line, or None."""
    text = line[22:]
    return text[15:] if text.startswith('[Parcelwright] ') else None


def phase_times(started, ended, seen):
    """{phase: seconds} from the arrival of each phase's closing line; None
    when a line is missing."""
    marks = [started]
    for _, prefix in PHASES:
        at = next((t for t, line in seen if (product_line(line) or '').startswith(prefix)), None)
        if at is None:
            return None
        marks.append(min(at, ended))  # lines read after the exit count as written at it
    marks.append(ended)
    names = [name for name, _ in PHASES] + ['end']
    return {name: marks[i + 1] - marks[i] for i, name in enumerate(names)}


class Bench:
    def __init__(self, args):
        self.args = args
        self.f = flows.Flow(args, 'bench')
        self.publish(args.package, args.list)
        self.env = {'TW_WINE_TIMEOUT': str(TIMEOUT_S)}
        self.log_path = os.path.join(self.f.user_folder(), 'AppData/Local/TwParcelwright/logs/install.log')
        self.trash = os.path.join(args.wine_root, 'bench-trash')
        shutil.rmtree(self.trash, ignore_errors=True)
        os.makedirs(self.trash)
        self.set_aside = 0
        self.last_run_end = -SETTLE_S

    def publish(self, package, listing):
        """Serves package as the product's download; its list is what an install must leave."""
        served = os.path.join(self.f.served, os.path.basename(package))
        if os.path.exists(served):
            os.remove(served)
        try:
            os.link(package, served)
        except OSError:
            shutil.copy(package, served)
        self.list = listing
        with open(listing, encoding='utf-8') as f:
            self.files = [line.rstrip('\n').split('\t', 1) for line in f if '\t' in line]
        self.bytes = sum(int(size) for size, _ in self.files)
        runname = self.files[0][1].rsplit('\\', 1)[-1]
        self.f.catalog([{'puc_type': int(PUC), 'puc_name': NAME, 'version': '1.0',
                         'download_url': self.f.serve(os.path.basename(package)), 'runname': runname}])

    def clean(self):
        """Empty roots for the next run, the disk written back, and a minute
        since the last run's deletions. This disk's file system (ext4 without
        a journal) passes over every inode freed in the last minute when it
        allocates a new one: a run right after 26,000 deletions (the run
        before's files, or the install's own staged files) took up to twice
        as long. So the runs' folders are moved aside and deleted after the
        last round, and each run waits until the last deletion is a minute
        old."""
        for name in ROOTS:
            folder = self.f.unix('C:\\' + name)
            if os.path.exists(folder):
                self.set_aside += 1
                os.rename(folder, os.path.join(self.trash, '%d-%s' % (self.set_aside, name)))
        self.f.forget(PUC)
        subprocess.run(['sync'], check=True)
        pause = self.last_run_end + SETTLE_S - time.monotonic()
        if pause > 0:
            time.sleep(pause)

    def empty_trash(self):
        shutil.rmtree(self.trash, ignore_errors=True)
        for name in ROOTS:
            shutil.rmtree(self.f.unix('C:\\' + name), ignore_errors=True)

    def floor(self, options=(), folder='C:\\BenchFloor'):
        self.clean()
        started = time.monotonic()
        proc = subprocess.run([self.args.wine_run, self.args.wine_root, self.args.floor, *options,
                               'Z:' + os.path.abspath(self.list).replace('/', '\\'), folder],
                              env=dict(self.f.env, **self.env), capture_output=True, timeout=TIMEOUT_S)
        self.last_run_end = time.monotonic()
        seconds = self.last_run_end - started
        if proc.returncode != 0 or proc.stdout.decode().strip() != '%d files' % len(self.files):
            sys.exit('install_bench: %s failed: %s' % (' '.join(['create_files.exe', *options]),
                                                       proc.stderr.decode('utf-8', 'replace')[-2000:]))
        return seconds

    def least_install(self):
        """The file work the install cannot leave out (create_files.exe --as-install)."""
        return self.floor(['--as-install'], 'C:\\BenchLeast')

    def install(self, prefix=()):
        self.clean()
        watch = LogWatch(self.log_path)
        started = time.monotonic()
        command = [*prefix, self.args.wine_run, self.args.wine_root, self.args.engine_driver, '--direct',
                   '--root', 'C:\\BenchRoot', '--mode', 'install', '--product', PUC]
        proc = subprocess.run(command, env=dict(self.f.env, **self.env), capture_output=True, timeout=TIMEOUT_S)
        ended = self.last_run_end = time.monotonic()
        seen = watch.finish()
        if proc.returncode != 0:
            sys.exit('install_bench: the install failed (%d): %s\n%s' % (
                proc.returncode, proc.stdout.decode('utf-8', 'replace'), proc.stderr.decode('utf-8', 'replace')[-2000:]))
        return ended - started, phase_times(started, ended, seen)

    def check_installed(self):
        folder = self.f.unix('C:\\BenchRoot\\' + NAME)
        count = sum(len(names) for _, _, names in os.walk(folder))
        manifest = self.f.manifest(PUC) or ''
        listed = manifest.count('\nFILE\t')
        if count != len(self.files) or listed != len(self.files):
            sys.exit('install_bench: %d files installed and %d listed, expected %d' % (count, listed, len(self.files)))

    def flushes(self, package, listing):
        """Flushes to disk during one install of package, by the file they flushed."""
        self.publish(package, listing)
        trace = os.path.join(self.args.wine_root, 'flushes.trace')
        prefix_env = dict(self.f.env, WINEPREFIX=os.path.join(self.args.wine_root, 'prefix'))
        # A wineserver started under strace: Wine flushes files in the server.
        subprocess.run(['wineserver', '-k'], env=prefix_env, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-w'], env=prefix_env, stderr=subprocess.DEVNULL, timeout=120)
        self.install(prefix=['strace', '-f', '--seccomp-bpf', '-qq', '-y', '-o', trace, '-e',
                             'trace=fsync,fdatasync,sync_file_range,syncfs'])
        self.check_installed()
        # strace ends with the wineserver it started.
        subprocess.run(['wineserver', '-k'], env=prefix_env, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-w'], env=prefix_env, stderr=subprocess.DEVNULL, timeout=120)
        drive_c = os.path.realpath(os.path.join(self.args.wine_root, 'prefix', 'drive_c'))
        kinds = collections.Counter()
        call = re.compile(r'^\d+\s+(\w+)\(\d+<([^>]*)>')
        with open(trace, encoding='utf-8', errors='replace') as f:
            for line in f:
                m = call.match(line)
                if not m:
                    continue
                path = m.group(2)
                if path.startswith(drive_c):
                    path = 'C:' + path[len(drive_c):].replace('/', '\\')
                # One line per kind of file: the product's files, and each file of an attempt's folder.
                path = re.sub(r'\\' + NAME + r'\\.*', r'\\' + NAME + r'\\<file>', path)
                path = re.sub(r'\\%s-\d+-\d+\\' % PUC, r'\\<attempt>\\', path)
                kinds[re.sub(r'(\\<attempt>\\[^\\]+)\\.*', r'\1\\<file>', path)] += 1
        os.remove(trace)
        return kinds


def main():
    p = argparse.ArgumentParser()
    for name in ('--wine-root', '--wine-run', '--engine-driver', '--floor', '--server-root', '--origin', '--package',
                 '--list'):
        p.add_argument(name, required=True)
    p.add_argument('--rounds', type=int, default=3)
    p.add_argument('--flush-package')
    p.add_argument('--flush-list')
    args = p.parse_args()
    bench = Bench(args)
    files, size = len(bench.files), bench.bytes
    try:
        floors, leasts, installs, phases = [], [], [], []
        runs = [bench.floor, bench.least_install, bench.install]
        for i in range(max(1, args.rounds)):
            for run in runs[i % 3:] + runs[:i % 3]:
                result = run()
                if run == bench.floor:
                    floors.append(result)
                elif run == bench.least_install:
                    leasts.append(result)
                else:
                    installs.append(result[0])
                    phases.append(result[1])
                    bench.check_installed()
            print('  round %d: install %.1f s, floor %.1f s, least install %.1f s'
                  % (i + 1, installs[-1], floors[-1], leasts[-1]), flush=True)
        kinds = bench.flushes(args.flush_package, args.flush_list) if args.flush_package else None
    finally:
        bench.empty_trash()
        bench.f.forget(PUC)
        bench.f.close()
    floor, least, install = statistics.median(floors), statistics.median(leasts), statistics.median(installs)
    print('install of %d files (%.1f MB, package %.1f MB) under Wine, median of %d interleaved rounds, sync before each'
          % (files, size / 1e6, os.path.getsize(args.package) / 1e6, len(installs)))
    print('  engine_driver.exe --direct (download included) %7.1f s   (runs: %s)'
          % (install, ', '.join('%.1f' % s for s in installs)))
    print('  create_files.exe, the floor                    %7.1f s   (runs: %s)'
          % (floor, ', '.join('%.1f' % s for s in floors)))
    print('  create_files.exe --as-install, the least install %5.1f s   (runs: %s)'
          % (least, ', '.join('%.1f' % s for s in leasts)))
    ratio = install / floor
    print('install / floor %.2f (goal at most %.0f: %s)' % (ratio, GOAL, 'met' if ratio <= GOAL else 'NOT met'))
    print('  least install / floor %.2f: staged, read back, then copied with a flushed record line each'
          ' (no download, decompression, hashing, ledger or checks); install / least install %.2f'
          % (least / floor, install / least))
    if all(phases):
        print('  phases from the install log, median s: ' + ', '.join(
            '%s %.1f' % (name, statistics.median(ph[name] for ph in phases)) for name in phases[0]))
        print('    (start: to "正在下载安装包…"; download: to "安装包格式识别"; checks: to "以解压部署模式";'
              ' extraction: to "解压结果"; deployment: to "部署结果"; manifest: to "已保存产品…安装清单"; end: to exit)')
    else:
        print('  phases: a phase line was missing from the install log')
    if kinds is not None:
        total = sum(kinds.values())
        deployed = kinds.get('C:\\BenchRoot\\%s\\<file>' % NAME, 0)
        # Two flushes belong to the install, not to a file: the downloaded
        # package and the recovery record's header.
        per_file = max(total - 2, 0) / len(bench.files)
        print('flushes to disk in one install of %d files (strace of every Wine process): %d, %.2f per deployed file'
              ' besides the 2 of the install (goal at most 1: %s)'
              % (len(bench.files), total, per_file, 'met' if per_file <= 1 else 'NOT met'))
        for path, count in kinds.most_common(8):
            print('  %7d  %s' % (count, path))
        if deployed:
            print('  of which on the deployed files themselves: %d' % deployed)


if __name__ == '__main__':
    main()
