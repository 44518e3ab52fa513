#!/usr/bin/env python3
"""Times `parcelwright zip check` (the installer's walk: every entry decoded and
CRC-checked) against `unzip -tqq` on one archive, and reports the check's
peak memory next to the target of largest entry + its compressed size +
16 MiB. Each program runs once untimed first, so both read a warm page cache.
Usage: zip_bench.py PARCELWRIGHT ARCHIVE ROUNDS"""
import os
import statistics
import subprocess
import sys
import zipfile

MIB = 1024 * 1024


def run(command):
    """CPU seconds (user and system: on a shared machine other programs
    stretch the wall clock, not these) and peak resident MiB of one fresh run;
    exits on failure."""
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = usage.ru_utime + usage.ru_stime
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit('zip_bench: %s exited with %d' % (' '.join(command), child.returncode))
    return seconds, usage.ru_maxrss / 1024  # ru_maxrss is in KiB on Linux


def main(tool, archive, rounds):
    with zipfile.ZipFile(archive) as z:
        entries = z.infolist()
    largest = max(entries, key=lambda e: e.file_size)
    target = (largest.file_size + largest.compress_size) / MIB + 16

    # The untimed first runs: warm the cache, and check that ours walks it all.
    listing = subprocess.run([tool, 'zip', 'check', archive], capture_output=True, text=True)
    lines = listing.stdout.splitlines()
    if listing.returncode != 0 or lines[-1:] != ['ok'] or len(lines) != len(entries) + 1:
        sys.exit('zip_bench: zip check failed: %s' % (lines[-1] if lines else listing.stderr))
    commands = {'parcelwright zip check': [tool, 'zip', 'check', archive], 'unzip -tqq': ['unzip', '-tqq', archive]}
    run(commands['unzip -tqq'])

    results = {name: [] for name in commands}
    for _ in range(rounds):
        for name, command in commands.items():
            results[name].append(run(command))

    print('\nextraction: %s' % archive)
    print('  %d entries, %.1f MB, %.1f MB unpacked; median of %d rounds, page cache warm'
          % (len(entries), os.path.getsize(archive) / 1e6, sum(e.file_size for e in entries) / 1e6, rounds))
    print('%-24s %8s  %12s' % ('', 'CPU s', 'peak RSS MiB'))
    median = {}
    for name, runs in results.items():
        median[name] = statistics.median(s for s, _ in runs)
        print('%-24s %8.2f  %12.1f' % (name, median[name], max(m for _, m in runs)))
    ratio = median['parcelwright zip check'] / median['unzip -tqq']
    print('ours/unzip %.3f (goal at most 0.4: %s)' % (ratio, 'met' if ratio <= 0.4 else 'NOT met'))
    peak = max(m for _, m in results['parcelwright zip check'])
    print('peak memory of the check %.1f MiB; target %.1f MiB = largest entry %.1f + its compressed %.1f + 16 (%s)'
          % (peak, target, largest.file_size / MIB, largest.compress_size / MIB, 'met' if peak <= target else 'NOT met'))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2], max(1, int(sys.argv[3])))
