#!/usr/bin/env python3
"""Installs of a few thousand files ended at a moment a seed picks (the driver
ends itself when the N-th file is held for writing or deleting, so a seed gives
the same moment every run), then the next run undoing them: before that, every
hash the ended attempt recorded matches its file; afterwards a fresh install
leaves no file and an update leaves the folder and manifest as they were, also
when the unflushed ledger lost its last lines as in a power cut."""
import glob
import hashlib
import os
import random

import flows
import harness
from crash_recovery_e2e import backups_left, windows_path

PUC = '911'
NAME = 'Seeded'
FILES = 2400
SEEDS = (1, 2, 3, 4, 5, 8)


def package(version):
    """FILES small files in 60 folders, every content differing per version;
    the second version adds a tenth more files."""
    rng = random.Random(version)
    count = FILES + (FILES // 10 if version > 1 else 0)
    files = {'Seeded.exe': b'MZ seeded %d' % version}
    for i in range(count):
        files['d%02d/f%04d.bin' % (i % 60, i)] = rng.randbytes(rng.randint(0, 600))
    return files


def work_folders(f, root):
    return sorted(glob.glob(f.unix(root + '\\temp_setup') + '/%s-*' % PUC), key=os.path.getmtime)


def item(version, url):
    return {'puc_type': int(PUC), 'puc_name': NAME, 'version': version, 'runname': 'Seeded.exe',
            'download_url': url}


def sha(data):
    return hashlib.sha256(data).hexdigest()


def check_recorded_hashes(f, work, files, what):
    """recovery.tsv of the ended attempt names files whose hashes it holds."""
    text = flows.read(os.path.join(work, 'recovery.tsv')).decode('utf-8')
    lines = text.split('\r\n')[1:-1]
    f.check(len(lines) > 0, what + ': the ended attempt recorded overwrites')
    staging = os.path.join(work, 'unpacked')
    wrong = []
    for line in lines:
        target, backup, backup_size, backup_hash, staged_size, staged_hash, staged = line.split('\t')
        staged_unix = f.unix(staged)
        relative = os.path.relpath(staged_unix, staging).replace(os.sep, '/')
        expected = files.get(relative)
        if expected is None or sha(expected) != staged_hash or len(expected) != int(staged_size):
            wrong.append(('package', relative))
        if flows.read(staged_unix) != expected:
            wrong.append(('staged', relative))
        if backup and os.path.exists(f.unix(backup)):
            data = flows.read(f.unix(backup))
            if sha(data) != backup_hash or len(data) != int(backup_size):
                wrong.append(('backup', backup))
    f.check_equal(wrong, [], what + ': every recorded hash is that of its file')


def end_at(f, root, mode, seed, files, what):
    """Runs the driver until the seed's moment; the ended attempt's work folder."""
    rng = random.Random(seed)
    moment = rng.randint(1, 2 * len(files))
    before = set(work_folders(f, root))
    rc, _, _ = f.run('--direct', '--root', root, '--mode', mode, '--product', PUC,
                     env={'TW_END_AFTER_HELD_FILES': str(moment), 'TW_WINE_TIMEOUT': '240'})
    new = [w for w in work_folders(f, root) if w not in before]
    f.check(rc == 86 and len(new) == 1, '%s: the driver ended itself at held file %d (exit %d)' % (what, moment, rc))
    return new[-1] if new else None


def fresh_install(f, seed, v1):
    what = 'seed %d, fresh install' % seed
    root = f.fresh_root('FlowSeeded%d' % seed)
    f.forget(PUC)
    f.catalog([item('1.0', f.serve('seeded-1.zip'))])
    work = end_at(f, root, 'install', seed, v1, what)
    if not work:
        return
    check_recorded_hashes(f, work, v1, what)
    rc, res, err = f.run('--direct', '--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check_equal(res.get(PUC, {}).get('installed'), 0, what + ': the product is not installed')
    f.check_equal(flows.tree(f.unix(root + '\\' + NAME)), {}, what + ': no file of the attempt is left')
    f.check(('已撤回上次中断的安装：%s' % windows_path(f, work)) in f.log(), what + ': the undo is logged')


def lose_ledger_tail(work, seed):
    """What a power cut may leave: recovery.tsv is flushed before every
    overwrite, ledger.log never, so the ledger may lack any tail of lines."""
    path = os.path.join(work, 'ledger.log')
    lines = flows.read(path).split(b'\r\n')[:-1]
    keep = random.Random(seed).randint(0, len(lines))
    with open(path, 'wb') as out:
        out.write(b''.join(line + b'\r\n' for line in lines[:keep]))


def update(f, seed, v1, v2, power_cut=False):
    what = 'seed %d, update%s' % (seed, ' with a power cut' if power_cut else '')
    root = f.fresh_root('FlowSeeded%d' % seed)
    f.forget(PUC)
    f.catalog([item('1.0', f.serve('seeded-1.zip'))])
    rc, _, err = f.run('--direct', '--root', root, '--mode', 'install', '--product', PUC,
                       env={'TW_WINE_TIMEOUT': '240'})
    f.check_equal(rc, 0, what + ': the first version installs')
    folder = root + '\\' + NAME
    before, manifest = flows.tree(f.unix(folder)), f.manifest(PUC)
    f.catalog([item('2.0', f.serve('seeded-2.zip'))])
    work = end_at(f, root, 'update', seed, v2, what)
    if not work:
        return
    check_recorded_hashes(f, work, v2, what)
    if power_cut:
        lose_ledger_tail(work, seed)
    f.catalog([item('2.0', f.serve('seeded-gone.zip', None, status=404, body='gone'))])
    f.run('--direct', '--root', root, '--mode', 'update', '--product', PUC)
    f.check(flows.tree(f.unix(folder)) == before, what + ': the folder is byte-identical to before the update')
    f.check_equal(f.manifest(PUC), manifest, what + ': the manifest is unchanged')
    f.check_equal(backups_left(work), [], what + ': no backup is left')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'seeded')
    try:
        v1, v2 = package(1), package(2)
        f.serve('seeded-1.zip', flows.make_zip(v1))
        f.serve('seeded-2.zip', flows.make_zip(v2))
        for seed in SEEDS:
            if seed % 2:
                fresh_install(f, seed, v1)
            else:
                update(f, seed, v1, v2, power_cut=seed % 4 == 0)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
