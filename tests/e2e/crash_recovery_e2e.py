#!/usr/bin/env python3
"""Install attempts killed for real half-way through deployment, and the next
run undoing them: an interrupted update (first while another copy of the
program holds the attempt, then for real), an interrupted fresh install, a
file the user changed after the crash, a committed attempt that lost its last
ledger line, and records that name paths they must not."""
import glob
import hashlib
import os
import random
import time

import flows
import harness
from flows import tree

PUC = '909'
NAME = 'Crash'


def package(version):
    """A few hundred small files and one of 64 MiB, all differing per version."""
    rng = random.Random(version)
    files = {'Crash.exe': b'MZ crash %d' % version}
    for i in range(300):
        files['data/%02d/file%03d.bin' % (i % 10, i)] = bytes(rng.getrandbits(8) for _ in range(rng.randint(100, 3000)))
    files['big.bin'] = rng.randbytes(64 << 20)
    return files


def as_files(entries):
    return {k.replace('/', '\\'): v for k, v in entries.items()}


def work_folders(f, root):
    return sorted(glob.glob(f.unix(root + '\\temp_setup') + '/%s-*' % PUC), key=os.path.getmtime)


def ledger_text(folder):
    return (flows.read(os.path.join(folder, 'ledger.log')) or b'').decode('utf-8', 'replace')


def kill_half_way(f, root, mode, files):
    """Runs the driver and kills it once half the targets show "覆盖完成"; the
    work folder of the killed attempt, or None when it finished first."""
    before = set(work_folders(f, root))
    proc = f.start_killable(f.args.engine_driver, '--direct', '--root', root, '--mode', mode, '--product', PUC)
    deadline = time.monotonic() + 240
    while proc.poll() is None and time.monotonic() < deadline:
        new = [w for w in work_folders(f, root) if w not in before]
        if new and ledger_text(new[-1]).count('覆盖完成') >= len(files) // 2:
            proc.kill()
            proc.wait()
            return new[-1] if '安装提交' not in ledger_text(new[-1]) else None
        time.sleep(0.005)
    proc.kill()
    proc.wait()
    return None


def staged_update(f, name, v1, v2_url, version='2.0'):
    """v1 installed under a fresh root, then an update to v2 killed half-way;
    returns (root, folder, the tree before, the manifest before, work folder)."""
    for _ in range(3):  # a run that outpaces the watcher is staged again
        root = f.fresh_root(name)
        f.forget(PUC)
        f.catalog([item('1.0', f.serve('crash-1.zip', None))])
        rc, _, err = f.run('--root', root, '--mode', 'install', '--product', PUC)
        folder = root + '\\' + NAME
        before, manifest = tree(f.unix(folder)), f.manifest(PUC)
        f.catalog([item(version, v2_url)])
        work = kill_half_way(f, root, 'update', v1)
        if rc == 0 and work:
            return root, folder, before, manifest, work
    f.check(False, name + ': an update could be interrupted half-way')
    raise SystemExit(1)


def item(version, url):
    return {'puc_type': int(PUC), 'puc_name': NAME, 'version': version, 'runname': 'Crash.exe', 'download_url': url}


def backups_left(work):
    return glob.glob(os.path.join(work, 'backup-*.bin'))


def interrupted_update(f, v1):
    root, folder, before, manifest, work = staged_update(f, 'FlowCrashUpdate', v1, f.serve('crash-2.zip', None))
    f.check(tree(f.unix(folder)) != before, 'update: the kill left the folder half new')
    gone = f.serve('crash-gone.zip', None, status=404, body='gone')
    f.catalog([item('2.0', gone)])

    # Another copy of the program still running this attempt: left alone.
    locker = hold_lock(f, work)
    ledger = ledger_text(work)
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check(ledger_text(work) == ledger and tree(f.unix(folder)) != before, 'held attempt: its folder is left alone')
    locker.kill()
    locker.wait()

    started = time.monotonic()
    rc, res, err = f.run('--root', root, '--mode', 'update', '--product', PUC)
    seconds = time.monotonic() - started
    print('recovery of %d files and one of 64 MiB, with the 404 update after it: %.1f s' % (len(v1), seconds))
    f.check_equal(tree(f.unix(folder)), before, 'update: the folder is byte-identical to before the update')
    f.check_equal(f.manifest(PUC), manifest, 'update: the manifest is unchanged')
    f.check_equal(backups_left(work), [], 'update: no backup is left')
    f.check(('已撤回上次中断的安装：%s' % windows_path(f, work)) in f.log(), 'update: the undo is logged')


def interrupted_fresh_install(f, v1):
    for _ in range(3):
        root = f.fresh_root('FlowCrashFresh')
        f.forget(PUC)
        f.catalog([item('1.0', f.serve('crash-1.zip', None))])
        work = kill_half_way(f, root, 'install', v1)
        if work:
            break
    else:
        f.check(False, 'fresh install: could be interrupted half-way')
        return
    rc, res, err = f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check_equal(res.get(PUC, {}).get('installed'), 0, 'fresh install: after a catalog load the product is not installed')
    f.check_equal(tree(f.unix(root + '\\' + NAME)), {}, 'fresh install: no file of the attempt is left')


def user_changed_file(f, v1):
    root, folder, before, manifest, work = staged_update(f, 'FlowCrashChanged', v1, f.serve('crash-2.zip', None))
    written = [line.split('\t', 1)[1] for line in ledger_text(work).split('\r\n') if line.startswith('覆盖完成\t')]
    changed = written[0]
    with open(f.unix(changed), 'wb') as out:
        out.write(b'changed by the user')
    f.catalog([item('2.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(flows.read(f.unix(changed)), b'changed by the user', 'changed file: kept as the user left it')
    f.check(len(backups_left(work)) > 0, 'changed file: its backup is kept')
    f.check(('上次中断的安装未能完全撤回，备份保留在：%s' % windows_path(f, work)) in f.log(),
            'changed file: the incomplete undo is logged')
    others = {k: v for k, v in tree(f.unix(folder)).items() if folder + '\\' + k != changed}
    f.check_equal(others, {k: v for k, v in before.items() if folder + '\\' + k != changed},
                  'changed file: every other file is restored')


def same_version_reinstall(f, v1):
    # The old manifest names the same version and files: it must not pass for
    # the interrupted attempt's commit.
    root, folder, before, manifest, work = staged_update(f, 'FlowCrashSame', v1, f.serve('crash-2.zip', None), '1.0')
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(tree(f.unix(folder)), before, 'same version: the interrupted reinstall is undone')
    f.check_equal(backups_left(work), [], 'same version: no backup is left')


def superseded_attempt(f, v1, v2):
    # An undo that could not finish, then an install that committed over it:
    # the old attempt must never be undone over the new install.
    root, folder, before, manifest, work = staged_update(f, 'FlowCrashSuperseded', v1, f.serve('crash-2.zip', None))
    written = [line.split('\t', 1)[1] for line in ledger_text(work).split('\r\n') if line.startswith('覆盖完成\t')]
    with open(f.unix(written[0]), 'wb') as out:
        out.write(b'changed by the user')
    rc, _, _ = f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(rc, 0, 'superseded: the update after the crash succeeds')
    f.catalog([item('2.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(tree(f.unix(folder)), as_files(v2), 'superseded: the committed install is left as it is')


def committed_without_its_line(f):
    root = f.fresh_root('FlowCrashCommitted')
    f.forget(PUC)
    small = {'Crash.exe': b'MZ small 1', 'a.txt': b'a1'}
    f.catalog([item('1.0', f.serve('small-1.zip', flows.make_zip(small)))])
    f.run('--root', root, '--mode', 'install', '--product', PUC)
    newer = {'Crash.exe': b'MZ small 2', 'a.txt': b'a2'}
    f.catalog([item('2.0', f.serve('small-2.zip', flows.make_zip(newer)))])
    rc, _, _ = f.run('--root', root, '--mode', 'update', '--product', PUC)
    work = work_folders(f, root)[-1]
    text = ledger_text(work)
    with open(os.path.join(work, 'ledger.log'), 'wb') as out:
        out.write(text[:text.rindex('安装提交\t')].encode('utf-8'))
    f.catalog([item('2.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check(rc == 0, 'committed attempt: the update succeeded')
    f.check_equal(tree(f.unix(root + '\\' + NAME)), newer, 'committed attempt: nothing is undone')
    f.check(ledger_text(work).endswith('安装提交\t%s\\%s\r\n' % (root, NAME)), 'committed attempt: the line is added')


def sha(data):
    return hashlib.sha256(data).hexdigest()


def hostile_records(f):
    root = f.fresh_root('FlowCrashHostile')
    f.forget(PUC)
    folder = root + '\\' + NAME
    outside = f.fresh_root('FlowCrashOutside') + '\\victim.txt'
    for path in (folder, outside[:outside.rindex('\\')], root + '\\elsewhere'):
        os.makedirs(f.unix(path), exist_ok=True)
    written, original = b'written by the attempt', b'what was there before'
    files = {outside: written, root + '\\elsewhere\\backup.bin': original}
    # Each case its own attempt folder, as if left by a crash.
    cases = [
        ('a target outside the product folder', outside, ''),
        ('a backup through a link', folder + '\\linked.txt', 'linked\\backup.bin'),
        ('a backup that differs from its hash', folder + '\\odd.txt', 'odd.bin'),
    ]
    works = []
    for number, (what, target, backup) in enumerate(cases):
        work = root + '\\temp_setup\\%s-1-%d' % (PUC, number)
        os.makedirs(f.unix(work))
        works.append(work)
        files[target] = written
        backup_path = work + '\\' + backup if backup else ''
        backup_fields = '%d\t%s' % (len(original), sha(original)) if backup else '0\t'
        record = 'TWRECOVERY1\t%s\t2.0\t%s\r\n%s\t%s\t%s\t%d\t%s\t%s\\unpacked\\x\r\n' % (
            PUC, folder, target, backup_path, backup_fields, len(written), sha(written), work)
        for name, text in (('recovery.tsv', record), ('ledger.log', '即将覆盖\t%s\r\n覆盖完成\t%s\r\n' % (target, target))):
            with open(f.unix(work + '\\' + name), 'wb') as out:
                out.write(text.encode('utf-8'))
    os.symlink(f.unix(root + '\\elsewhere'), f.unix(works[1] + '\\linked'))
    files[works[2] + '\\odd.bin'] = b'not what was backed up'
    for path, content in files.items():
        with open(f.unix(path), 'wb') as out:
            out.write(content)
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    for path, content in files.items():
        f.check_equal(flows.read(f.unix(path)), content, 'hostile records: %s is untouched' % path)
    f.check('撤回' not in ledger_text(f.unix(works[0])), 'hostile records: an untrusted record is not even written to')


def windows_path(f, unix_path):
    drive_c = os.path.join(f.prefix, 'drive_c')
    return 'C:' + unix_path[len(drive_c):].replace('/', '\\') if unix_path.startswith(drive_c) else unix_path


def hold_lock(f, work):
    """A program holding the attempt's lock, as the copy of the program that
    runs the attempt would."""
    locker = os.path.join(f.served, 'locker.exe')
    with open(locker, 'wb') as out:
        out.write(flows.read(os.path.join(os.path.dirname(f.args.engine_driver), 'stand_in.exe')))
    marker = os.path.join(f.served, 'locked')
    if os.path.exists(marker):
        os.remove(marker)
    with open(locker + '.script', 'w') as out:
        out.write('hold %s\\attempt.lock\nwrite Z:%s x\n' % (windows_path(f, work), marker.replace('/', '\\')))
    proc = f.start_killable('Z:' + locker.replace('/', '\\'))
    f.check(flows.wait_for(lambda: os.path.exists(marker)), 'another process holds the attempt')
    return proc


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'crash')
    try:
        v1, v2 = package(1), package(2)
        f.serve('crash-1.zip', flows.make_zip(v1))
        f.serve('crash-2.zip', flows.make_zip(v2))
        interrupted_update(f, v1)
        interrupted_fresh_install(f, v1)
        user_changed_file(f, v1)
        same_version_reinstall(f, v1)
        superseded_attempt(f, v1, v2)
        committed_without_its_line(f)
        hostile_records(f)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
