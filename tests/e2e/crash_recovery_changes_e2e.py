#!/usr/bin/env python3
"""What recovery must leave alone, beside crash_recovery_e2e (which holds the
helpers): a record naming another program's desktop link, a ledger far too
large to be an attempt's, and a file the user deleted after a crash, through
a later update, an uninstall and a reload."""
import os

import flows
import harness
from crash_recovery_e2e import NAME, PUC, item, ledger_text, package, sha, staged_update, windows_path
from flows import tree


def plant_attempt(f, work, product_dir, target, backup, written, original, ledger):
    """An attempt folder as a crash leaves it: one overwrite of target, whose
    backup (when named) holds original and which the attempt set to written."""
    os.makedirs(f.unix(work), exist_ok=True)
    backup_path = work + '\\' + backup if backup else ''
    backup_fields = '%d\t%s' % (len(original), sha(original)) if backup else '0\t'
    record = 'TWRECOVERY1\t%s\t2.0\t%s\r\n%s\t%s\t%s\t%d\t%s\t%s\\unpacked\\x\r\n' % (
        PUC, product_dir, target, backup_path, backup_fields, len(written), sha(written), work)
    for name, data in (('recovery.tsv', record.encode('utf-8')), ('ledger.log', ledger.encode('utf-8'))):
        with open(f.unix(work + '\\' + name), 'wb') as out:
            out.write(data)
    if backup:
        with open(f.unix(backup_path), 'wb') as out:
            out.write(original)


def log_lines_of_run(f, *arguments):
    """Runs the driver; (its results, the log lines it added)."""
    before = len(f.log())
    rc, res, err = f.run(*arguments)
    return rc, res, f.log()[before:]


def desktop_targets(f):
    # Only the product's own shortcut may be a target on the desktop; a record
    # naming another program's link (there or deleted) leaves it as it is.
    root = f.fresh_root('FlowCrashDesktop')
    f.forget(PUC)
    folder = root + '\\' + NAME
    os.makedirs(f.unix(folder), exist_ok=True)
    desktop = windows_path(f, os.path.dirname(f.desktop(NAME + '.lnk')))
    written, original = b'link written by the attempt', b'link as it was'
    overwritten = lambda t: '即将覆盖\t%s\r\n覆盖完成\t%s\r\n' % (t, t)
    torn = lambda t: '即将覆盖\t%s\r\n' % t
    cases = [  # (link name, content before recovery or None, ledger, content expected after)
        ('Other.lnk', written, overwritten, written),
        ('Other2.lnk', None, torn, None),
        (NAME + '.lnk', written, overwritten, original),  # its own link: undone, so the records are sound
    ]
    works = []
    for number, (name, content, ledger, _) in enumerate(cases):
        target = desktop + '\\' + name
        work = root + '\\temp_setup\\%s-2-%d' % (PUC, number)
        works.append(work)
        plant_attempt(f, work, folder, target, 'backup-1-1.bin', written, original, ledger(target))
        if os.path.exists(f.desktop(name)):
            os.remove(f.desktop(name))
        if content is not None:
            with open(f.desktop(name), 'wb') as out:
                out.write(content)
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    for (name, _, _, expected), work in zip(cases, works):
        f.check_equal(flows.read(f.desktop(name)), expected, 'desktop: %s after recovery' % name)
    for work in works[:2]:
        f.check('撤回' not in ledger_text(f.unix(work)), 'desktop: a record naming another link is not written to')
    for name in (NAME + '.lnk', 'Other.lnk'):
        os.remove(f.desktop(name))


def planted_update(f, root_name, tag):
    """A fresh root whose product folder holds a.txt as an interrupted update
    wrote it, with the attempt's folder planted beside it; returns (root,
    folder, target, work, the ledger's text)."""
    root = f.fresh_root(root_name)
    f.forget(PUC)
    folder = root + '\\' + NAME
    os.makedirs(f.unix(folder), exist_ok=True)
    target = folder + '\\a.txt'
    with open(f.unix(target), 'wb') as out:
        out.write(b'written')
    work = root + '\\temp_setup\\%s-%s' % (PUC, tag)
    ledger = '即将覆盖\t%s\r\n覆盖完成\t%s\r\n' % (target, target)
    plant_attempt(f, work, folder, target, 'backup-1-1.bin', b'written', b'original', ledger)
    return root, folder, target, work, ledger


def untrusted_folder(f):
    # Wine builds a folder's access list from its Unix mode: one anybody may
    # write to reads as "Everyone: write", so its record proves nothing. It is
    # left as it is, not even locked, and reported once per run.
    root, folder, target, work, ledger = planted_update(f, 'FlowCrashUntrusted', '5-1')
    written, original = b'written', b'original'
    os.chmod(f.unix(work), 0o777)
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    rc, res, lines = log_lines_of_run(f, '--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check(PUC in res, 'untrusted folder: the catalog loads')
    kept = [line for line in lines.splitlines() if line.endswith('上次中断的安装未能完全撤回，备份保留在：' + work)]
    f.check_equal(len(kept), 1, 'untrusted folder: reported once in the run')
    f.check_equal(flows.read(f.unix(target)), written, 'untrusted folder: its target is left as it is')
    f.check_equal(ledger_text(f.unix(work)), ledger, 'untrusted folder: its ledger is not written to')
    f.check(not os.path.exists(f.unix(work + '\\attempt.lock')), 'untrusted folder: not even locked')
    # The same folder as only its owner may write it is undone: the records are sound.
    os.chmod(f.unix(work), 0o755)
    f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check_equal(flows.read(f.unix(target)), original, 'untrusted folder: undone once it is trusted')


def untrusted_fresh_install(f):
    # An interrupted fresh install that cannot be undone makes the product
    # read as not installed; a folder that proves nothing must not.
    root = f.fresh_root('FlowCrashUntrustedFresh')
    f.forget(PUC)
    folder = root + '\\' + NAME
    os.makedirs(f.unix(folder), exist_ok=True)
    with open(f.unix(folder + '\\Crash.exe'), 'wb') as out:
        out.write(b'MZ installed without a manifest')
    target = folder + '\\a.txt'
    with open(f.unix(target), 'wb') as out:
        out.write(b'changed by the user')
    work = root + '\\temp_setup\\%s-6-1' % PUC
    plant_attempt(f, work, folder, target, '', b'written', b'', '即将覆盖\t%s\r\n覆盖完成\t%s\r\n' % (target, target))
    os.chmod(f.unix(work), 0o777)
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    rc, res, _ = f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(res.get(PUC, {}).get('installed'), 1, 'untrusted fresh install: the product still reads as installed')
    os.chmod(f.unix(work), 0o755)
    rc, res, _ = f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(res.get(PUC, {}).get('installed'), 0, 'untrusted fresh install: once trusted, its failed undo counts')


def huge_ledger(f):
    # A ledger far beyond what any attempt writes is not read: the folder is
    # left as it is, reported once per run (recovery runs at the catalog load
    # and again before the operation), and the catalog still loads.
    root, folder, target, work, _ = planted_update(f, 'FlowCrashHuge', '3-1')
    written = b'written'
    ledger = f.unix(work + '\\ledger.log')
    os.truncate(ledger, 300 << 20)  # sparse: the lines above, then zeros
    f.catalog([item('1.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    rc, res, lines = log_lines_of_run(f, '--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check(PUC in res, 'huge ledger: the catalog loads')
    kept = [line for line in lines.splitlines() if line.endswith('上次中断的安装未能完全撤回，备份保留在：' + work)]
    f.check_equal(len(kept), 1, 'huge ledger: reported once in the run')
    f.check_equal(os.path.getsize(ledger), 300 << 20, 'huge ledger: not written to')
    f.check_equal(flows.read(f.unix(target)), written, 'huge ledger: its target is left as it is')


def deleted_file_stays_deleted(f, v1):
    # A file the user deleted after the crash is not brought back: not by the
    # recovery, and not after a later update and an uninstall either.
    root, folder, before, manifest, work = staged_update(f, 'FlowCrashDeleted', v1, f.serve('crash-2.zip', None))
    written = [line.split('\t', 1)[1] for line in ledger_text(work).split('\r\n') if line.startswith('覆盖完成\t')]
    deleted = written[len(written) // 2]
    os.remove(f.unix(deleted))
    f.catalog([item('2.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check(not os.path.exists(f.unix(deleted)), 'deleted file: not restored by the recovery')
    f.check(('上次中断的安装未能完全撤回，备份保留在：%s' % windows_path(f, work)) in f.log(),
            'deleted file: the incomplete undo is logged')
    f.catalog([item('2.0', f.serve('crash-2.zip', None))])
    rc, _, _ = f.run('--root', root, '--mode', 'update', '--product', PUC)
    f.check_equal(rc, 0, 'deleted file: a later update commits')
    rc, _, _ = f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check_equal(rc, 0, 'deleted file: the uninstall succeeds')
    f.catalog([item('2.0', f.serve('crash-gone.zip', None, status=404, body='gone'))])
    rc, res, _ = f.run('--root', root, '--mode', 'uninstall', '--product', PUC)
    f.check(not os.path.exists(f.unix(deleted)), 'deleted file: still gone after a reload')
    f.check_equal(tree(f.unix(folder)), {}, 'deleted file: nothing of the old attempt comes back')
    f.check_equal(res.get(PUC, {}).get('installed'), 0, 'deleted file: the product reads as not installed')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'crash-changes')
    try:
        untrusted_folder(f)
        untrusted_fresh_install(f)
        desktop_targets(f)
        huge_ledger(f)
        v1, v2 = package(1), package(2)
        f.serve('crash-1.zip', flows.make_zip(v1))
        f.serve('crash-2.zip', flows.make_zip(v2))
        deleted_file_stays_deleted(f, v1)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
