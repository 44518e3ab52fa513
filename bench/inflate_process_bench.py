#!/usr/bin/env python3
"""Times `parcelwright inflate IN OUT --size N` as a whole process against
inflate_whole (bench/inflate_whole.c: the same job with libdeflate and with
zlib) over the nine streams of make_corpus.py. Every program's output is
compared with the tar once, untimed (which also warms the page cache); then
rounds run every program on every stream in turn, so that a noisy neighbour
slows all of them alike. Outputs go to a fresh file in memory (/dev/shm when
there is one), deleted before each run: the disk's write-back of earlier
outputs would otherwise land on whichever process runs next. Times are CPU seconds (user and system) of the whole
process: reading the stream, decoding, writing the output, starting and
ending. Speed ratios are the baseline's time over ours (above 1: ours is
faster); the goal is a geometric mean of ours/libdeflate of at least 0.95.
Usage: inflate_process_bench.py CORPUS PARCELWRIGHT INFLATE_WHOLE ROUNDS [LABEL=PARCELWRIGHT ...]
(each LABEL=PATH adds another build of parcelwright, e.g. an older one)"""
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

KINDS = ('text', 'programs', 'documents')
LEVELS = (1, 6, 9)
GOAL = 0.95


def run(command):
    """CPU seconds of one fresh run, or None when it fails."""
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        return None
    return usage.ru_utime + usage.ru_stime


def geometric_mean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values))


def main(corpus, parcelwright, whole, rounds, others):
    out_dir = tempfile.mkdtemp(prefix='inflate-process-', dir='/dev/shm' if os.path.isdir('/dev/shm') else None)
    try:
        measure(corpus, parcelwright, whole, rounds, others, out_dir)
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)


def fresh(path):
    if os.path.exists(path):
        os.remove(path)
    return path


def measure(corpus, parcelwright, whole, rounds, others, out_dir):
    programs = {'parcelwright': parcelwright, **others}
    # Its usage line names the decoders it was built with.
    usage = subprocess.run([whole], capture_output=True, text=True).stderr
    have_libdeflate = 'libdeflate' in usage.split(' IN ')[0]
    baselines = ['libdeflate', 'zlib'] if have_libdeflate else ['zlib']

    def command(name, stream, out, size):
        if name in baselines:
            return [whole, name, stream, out, str(size)]
        return [programs[name], 'inflate', stream, out, '--size', str(size)]

    names = list(programs) + baselines
    streams = []
    for kind in KINDS:
        plain = os.path.join(corpus, kind + '.tar')
        size = os.path.getsize(plain)
        with open(plain, 'rb') as f:
            expected = f.read()
        for level in LEVELS:
            stream = os.path.join(corpus, '%s-%d.raw' % (kind, level))
            streams.append(('%s-%d' % (kind, level), stream, size))
            for name in names:
                out = fresh(os.path.join(out_dir, name + '.out'))
                if run(command(name, stream, out, size)) is None:
                    sys.exit('inflate_process_bench: %s failed on %s' % (name, stream))
                with open(out, 'rb') as f:
                    if f.read() != expected:
                        sys.exit('inflate_process_bench: %s wrote wrong bytes for %s' % (name, stream))

    times = {(s[0], n): [] for s in streams for n in names}
    for _ in range(rounds):
        for label, stream, size in streams:
            for name in names:
                seconds = run(command(name, stream, fresh(os.path.join(out_dir, name + '.out')), size))
                if seconds is None:
                    sys.exit('inflate_process_bench: %s failed on %s' % (name, stream))
                times[label, name].append(seconds)

    print('\ninflate as a whole process (read the stream, decode, write the output): median CPU ms of %d rounds'
          % rounds)
    print('  ours = parcelwright inflate; baselines = inflate_whole (bench/inflate_whole.c); speed ratios are'
          ' baseline time / ours')
    header = '%-12s %9s' % ('stream', 'MB out') + ''.join('%14s' % n for n in names)
    ratio_names = [(n, b) for n in programs for b in baselines]
    header += ''.join('%18s' % ('%s/%s' % (n if n != 'parcelwright' else 'ours', b)) for n, b in ratio_names)
    print(header)
    medians = {key: statistics.median(v) for key, v in times.items()}
    ratios = {pair: [] for pair in ratio_names}
    for label, _, size in streams:
        line = '%-12s %9.1f' % (label, size / 1e6) + ''.join('%14.1f' % (medians[label, n] * 1000) for n in names)
        for n, b in ratio_names:
            ratio = medians[label, b] / max(medians[label, n], 1e-6)
            ratios[n, b].append(ratio)
            line += '%18.3f' % ratio
        print(line)
    print('%-12s %9s' % ('geo. mean', '') + ' ' * 14 * len(names) +
          ''.join('%18.3f' % geometric_mean(ratios[pair]) for pair in ratio_names))
    if have_libdeflate:
        for n in programs:
            mean = geometric_mean(ratios[n, 'libdeflate'])
            print('%s inflate whole process / libdeflate, geometric mean of nine streams: %.3f (goal at least %.2f: %s)'
                  % (n, mean, GOAL, 'met' if mean >= GOAL else 'NOT met'))
    else:
        print('libdeflate absent: no figure against the goal')


if __name__ == '__main__':
    extra = dict(a.split('=', 1) for a in sys.argv[5:])
    main(sys.argv[1], sys.argv[2], sys.argv[3], max(1, int(sys.argv[4])), extra)
