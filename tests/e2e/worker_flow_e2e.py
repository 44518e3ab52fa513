#!/usr/bin/env python3
"""The operation tasks through engine_driver.exe and the worker: the Defender
step's folders in order (with a scripted PowerShell in place of Wine's stub),
skipped in uninstall mode (Wine's "win7" setting reports a server, so the
Windows 7 skip cannot be staged here); the retry of failed products only;
opening programs that stops at the first failure and keeps the packages; and a
cancel during a slowed download that undoes the run."""
import glob
import os

import flows
import harness
from flows import make_zip, tree

def item(puc, name, url, runname='Main.exe'):
    return {'puc_type': puc, 'puc_name': name, 'version': '1.0', 'runname': runname, 'download_url': url}


def defender_step(f, powershell):
    root, other = f.fresh_root('FlowWorker'), f.fresh_root('FlowWorkerOld')
    for puc in ('921', '922'):
        f.forget(puc)
    package = make_zip({'Main.exe': b'MZ main'})
    f.catalog([item(921, 'Moved', f.serve('a.zip', package)), item(922, 'Fresh', f.serve('b.zip', package))])
    f.run('--root', other, '--mode', 'install', '--product', '921')  # recorded under the other root
    powershell.forget()
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '921', '--product', '922')
    f.check_equal(powershell.folders(), [root, root + '\\temp_setup', other, other + '\\temp_setup'],
                  'Defender: the chosen root, its temp_setup, then the recorded root of an installed product')

    powershell.forget()
    reports = len(f.requests('/'))
    f.catalog([item(921, 'Moved', f.serve('a.zip', package)),
               item(922, 'Fresh', f.serve('b-gone.zip', None, status=404, body='gone'))])
    rc, res, err = f.run('--root', root, '--mode', 'uninstall', '--product', '922')
    f.check(powershell.folders() == [], 'uninstall: no Defender step')
    f.check(not [r for r in f.requests('/')[reports:] if 'report_failure' in r['query']], 'uninstall: no report')


def retry_failed(f):
    root = f.fresh_root('FlowRetry')
    for puc in ('923', '924'):
        f.forget(puc)
    good = make_zip({'Main.exe': b'MZ good'})
    f.catalog([item(923, 'Good', f.serve('good.zip', good)), item(924, 'Bad', f.serve('bad.zip', None, status=500))])
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '923', '--product', '924', '--retry-failed')
    f.check(res.get('923', {}).get('ok') and not res.get('924', {}).get('ok'), 'retry: one product installed, one failed')
    f.check_equal((len(f.requests('/flow-worker/good.zip')), len(f.requests('/flow-worker/bad.zip'))), (1, 2),
                  'retry: only the failed product is requested again')


def open_programs(f):
    root = f.fresh_root('FlowOpen')
    for puc in ('925', '926'):
        f.forget(puc)
    # Not a program Windows can start: opening it fails.
    f.catalog([item(925, 'Broken', f.serve('broken.zip', make_zip({'Main.exe': b'not a program'}))),
               item(926, 'Second', f.serve('second.zip', make_zip({'Main.exe': b'MZ second'})))])
    reports = len(f.requests('/'))
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '925', '--product', '926', '--open', '--cleanup')
    sent = [r for r in f.requests('/')[reports:] if 'report_failure' in r['query']]
    f.check(len(sent) == 1 and 'puc_type=925&failure_type=main_program_run_failed' in sent[0]['body'],
            'open: the first program that fails is reported once')
    f.check_equal(res.get('925', {}).get('failure_kind'), 2, 'open: failure kind 2')
    packages = glob.glob(f.unix(root + '\\temp_setup') + '/92[56]-*/package.bin')
    f.check_equal(len(packages), 2, 'open: the packages are kept although cleanup was asked')


def cancel_undoes(f):
    root = f.fresh_root('FlowCancel')
    f.forget('927')
    first = make_zip({'Main.exe': b'MZ one', 'data.bin': b'1' * 1000})
    f.catalog([item(927, 'Cancelled', f.serve('c1.zip', first))])
    f.run('--root', root, '--mode', 'install', '--product', '927')
    before = tree(f.unix(root + '\\Cancelled'))
    slow = make_zip({'Main.exe': b'MZ two', 'data.bin': bytes(range(256)) * 4000})
    f.catalog([item(927, 'Cancelled', f.serve('c2.zip', slow, chunk=20000, delay_ms=50))])
    rc, res, err = f.run('--root', root, '--mode', 'update', '--product', '927', '--cancel-on', '正在下载')
    f.check_equal(res.get('927', {}).get('last_error'), '用户已取消下载。', 'cancel: the download stops')
    f.check_equal(tree(f.unix(root + '\\Cancelled')), before, 'cancel: the installed version is as it was')
    attempts = sorted(glob.glob(f.unix(root + '\\temp_setup') + '/927-*'), key=os.path.getmtime)
    f.check(len(attempts) == 2 and glob.glob(attempts[-1] + '/package.bin*') == [],
            'cancel: the undo removed what the cancelled attempt downloaded')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'worker')
    powershell = harness.ScriptedPowerShell(f)
    try:
        defender_step(f, powershell)
        retry_failed(f)
        open_programs(f)
        cancel_undoes(f)
    finally:
        powershell.restore()
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
