#!/usr/bin/env python3
"""A package the catalog pins with download_sha256, through engine_driver.exe:
another valid package served in its place (a ZIP, and an installer that would
run elevated) is refused before any use and deleted, nothing is deployed, and
the same catalog with the served package's pin installs it; a malformed pin
stops the catalog load."""
import glob
import hashlib
import os

import flows
import harness
from flows import make_zip, tree

PUC = 941
MISMATCH = '安装包校验失败：下载内容与软件目录登记的SHA-256不一致，可能被篡改，已停止安装。'
PINNED = {'PinTool.exe': b'MZ the vendor build', 'data.txt': b'vendor data'}
SERVED = {'PinTool.exe': b'MZ someone else', 'data.txt': b'other data', 'extra.dll': b'MZ extra'}


def item(url, pin):
    return {'puc_type': PUC, 'puc_name': 'PinTool', 'version': '1.0', 'runname': 'PinTool.exe',
            'download_url': url, 'download_sha256': pin}


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def work_files(f, root):
    """{relative path: bytes} of every file left in the product's work folders."""
    found = {}
    for folder in glob.glob(f.unix(root + '\\temp_setup') + '/%d-*' % PUC):
        for name, data in tree(folder).items():
            found[os.path.basename(folder) + '\\' + name] = data
    return found


def refused(f, root, what, served, env=None):
    """An install of served under the vendor's pin fails as a tampered download."""
    reports = len(f.requests('/'))
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', str(PUC), env=env)
    result = res.get(str(PUC), {})
    if not f.check(rc == 1 and not result.get('ok') and result.get('failure_kind') == 1,
                   '%s: the install fails as a download failure' % what):
        print(err)
    f.check_equal(result.get('last_error'), MISMATCH, '%s: the message' % what)
    f.check_equal(tree(f.unix(root + '\\PinTool')), {}, '%s: nothing was deployed' % what)
    f.check(f.manifest(str(PUC)) is None, '%s: no install record' % what)
    left = work_files(f, root)
    f.check(all(data != served for data in left.values()) and
            not any(os.path.basename(name).startswith(('package.', 'setup-')) for name in left),
            '%s: the downloaded package is gone (left: %s)' % (what, sorted(left)))
    sent = [r for r in f.requests('/')[reports:] if 'report_failure' in r['query']]
    f.check(len(sent) == 1 and 'puc_type=%d&failure_type=download_failed' % PUC in sent[0]['body'],
            '%s: one failure report as a download failure' % what)


def substituted_packages(f, args):
    root = f.fresh_root('FlowPinned')
    f.forget(str(PUC))
    pin = sha256(make_zip(PINNED))

    # Another valid ZIP where the pinned one should be.
    served = make_zip(SERVED)
    url = f.serve('pin-tool.zip', served)
    f.catalog([item(url, pin)])
    refused(f, root, 'another ZIP', served)

    # An installer that would run elevated: it must never start.
    marker = os.path.join(f.served, 'installer-ran')
    if os.path.exists(marker):
        os.remove(marker)
    script = f.script('pin-installer.script', 'write %s ran\nexit 0\n' % ('Z:' + marker.replace('/', '\\')))
    installer = flows.stand_in(args)
    f.catalog([item(f.serve('pin-setup.exe', installer), pin)])
    refused(f, root, 'an installer', installer, env={'TW_STAND_IN_SCRIPT': script})
    f.check(not os.path.exists(marker), 'an installer: it did not run')

    # The same catalog pinning what is served (in capitals): installed.
    f.catalog([item(url, sha256(served).upper())])
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', str(PUC))
    if not f.check(rc == 0 and res.get(str(PUC), {}).get('ok'), 'the right pin installs'):
        print(err)
    f.check_equal(tree(f.unix(root + '\\PinTool')), SERVED, 'the right pin: the served files are deployed')
    f.check(f.manifest(str(PUC)) is not None, 'the right pin: recorded as installed')
    rc, _, _ = f.run('--root', root, '--mode', 'uninstall', '--product', str(PUC), '--purge')
    f.check_equal(rc, 0, 'the right pin: uninstalled again')


def malformed_pin(f):
    root = f.fresh_root('FlowPinBad')
    f.catalog([item(f.serve('pin-bad.zip', make_zip(PINNED)), sha256(b'x')[:63])])
    requests = len(f.requests('/flow-pin/pin-bad.zip'))
    rc, res, _ = f.run('--root', root, '--mode', 'install', '--product', str(PUC))
    f.check_equal((rc, res.get('error', {}).get('error')), (2, 'download_sha256格式错误，应为64位十六进制SHA-256值。'),
                  'a malformed pin stops the catalog load')
    f.check_equal(len(f.requests('/flow-pin/pin-bad.zip')), requests, 'a malformed pin: nothing is downloaded')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'pin')
    try:
        substituted_packages(f, args)
        malformed_pin(f)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
