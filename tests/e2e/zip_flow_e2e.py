#!/usr/bin/env python3
"""A ZIP product through its whole life with engine_driver.exe: installed,
updated over a user's file, reinstalled, moved to another root, uninstalled
and purged; updates whose download fails; a package whose entry escapes its
folder; the same root under another name; an install after an uninstall in
the same session; a move whose install fails, then an uninstall in that run;
the log lines of an install, an update, a move and an uninstall in order."""
import glob
import os
import re

import flows
import harness
from flows import make_zip, read, tree

V1 = {'ZipTool.exe': b'MZ version one', 'lib/core.dll': b'core 1' * 1000, 'docs/readme.txt': b'readme 1',
      'old-only.dat': b'only in version 1'}
V2 = {'ZipTool.exe': b'MZ version two', 'lib/core.dll': b'core 2' * 1000, 'docs/readme.txt': b'readme 2',
      'new.dat': b'new in version 2'}
NAME = 'Zip工具'


def item(puc, name, version, url, runname='ZipTool.exe'):
    return {'puc_type': puc, 'puc_name': name, 'version': version, 'download_url': url, 'runname': runname}


def unix_tree(f, windows_folder):
    return tree(f.unix(windows_folder))


def as_files(entries):
    return {k.replace('/', '\\'): v for k, v in entries.items()}


def file_lines(manifest):
    return sorted(line[5:] for line in manifest.split('\n') if line.startswith('FILE\t'))


def life_cycle(f):
    root, root2 = f.fresh_root('FlowApps'), f.fresh_root('FlowApps2')
    f.forget('901')
    link = f.desktop(NAME + '.lnk')
    if os.path.exists(link):
        os.remove(link)
    f.catalog([item(901, NAME, '1.0', f.serve('tool-1.zip', make_zip(V1)))])
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '901', '--shortcut')
    folder = root + '\\' + NAME
    if not f.check_equal(rc, 0, 'fresh install succeeds'):
        print(err)
    f.check_equal(res.get('901', {}).get('installed_dir'), folder, 'fresh install: the product folder')
    f.check_equal(unix_tree(f, folder), as_files(V1), 'fresh install: every file byte-identical to the package')
    manifest = f.manifest('901') or ''
    header = 'DADEZORORA1\nBASE\t%s\nDIR\t%s\nMAIN\t%s\\ZipTool.exe\nVERSION\t1.0\nTYPE\t0\n' % (root, folder, folder)
    f.check(manifest.startswith(header), 'fresh install: manifest header exact')
    desktop_link = 'C:\\users\\%s\\Desktop\\%s.lnk' % (os.path.basename(f.user_folder()), NAME)
    expected_lines = sorted([folder + '\\' + k.replace('/', '\\') for k in V1] + [desktop_link])
    f.check_equal(file_lines(manifest), expected_lines, 'fresh install: one FILE line per file and the shortcut')
    f.check(os.path.exists(link), 'fresh install: desktop shortcut')
    f.check_equal(len(f.requests('/flow-zip/tool-1.zip')), 1, 'fresh install: one package request')
    ledgers = glob.glob(f.unix(root + '\\temp_setup') + '/901-*/ledger.log')
    ledger = flows.read(ledgers[0]).decode('utf-8') if len(ledgers) == 1 else ''
    f.check(('覆盖完成\t%s\\ZipTool.exe\r\n' % folder) in ledger and ledger.endswith('安装提交\t%s\r\n' % folder),
            'fresh install: the ledger records each file and ends with the commit')

    # An update over a file of the user's and one the new version drops.
    user_file = f.unix(folder + '\\settings.ini')
    with open(user_file, 'wb') as out:
        out.write(b'user settings')
    f.catalog([item(901, NAME, '2.0', f.serve('tool-2.zip', make_zip(V2)))])
    rc, res, err = f.run('--root', root, '--mode', 'update', '--product', '901', '--shortcut')
    f.check_equal(rc, 0, 'update succeeds')
    expected = dict(as_files(V2), **{'old-only.dat': V1['old-only.dat'], 'settings.ini': b'user settings'})
    f.check_equal(unix_tree(f, folder), expected, 'update: new files, the user\'s file and the dropped file kept')
    manifest = f.manifest('901') or ''
    f.check('VERSION\t2.0\n' in manifest and folder + '\\old-only.dat' in manifest,
            'update: version 2.0, the dropped file still listed for uninstall')
    f.check(folder + '\\settings.ini' not in manifest, 'update: the user\'s file is not listed')

    rc, res, err = f.run('--root', root, '--mode', 'update', '--product', '901', '--shortcut')
    f.check_equal(rc, 0, 'reinstall at the same version succeeds')
    f.check_equal(unix_tree(f, folder), expected, 'reinstall: the same files')
    f.check_equal(len(f.requests('/flow-zip/tool-2.zip')), 2, 'reinstall: the package was downloaded again')

    # A move to another root.
    rc, res, err = f.run('--root', root2, '--mode', 'update', '--product', '901', '--shortcut')
    folder2 = root2 + '\\' + NAME
    f.check_equal(rc, 0, 'move to a second root succeeds')
    f.check_equal(unix_tree(f, folder2), as_files(V2), 'move: the product is in the new folder')
    f.check_equal(unix_tree(f, folder), {'settings.ini': b'user settings'},
                  'move: listed old files gone, the user\'s file kept')
    f.check(os.path.isdir(f.unix(folder)), 'move: the old folder stays')
    f.check(os.path.exists(link), 'move: the desktop shortcut stays')
    f.check(('BASE\t%s\n' % root2) in (f.manifest('901') or ''), 'move: the manifest names the new root')

    # Uninstall keeps what the user made; purge removes the folder.
    with open(f.unix(folder2 + '\\user.txt'), 'wb') as out:
        out.write(b'mine')
    rc, res, err = f.run('--root', root2, '--mode', 'uninstall', '--product', '901')
    f.check_equal(rc, 0, 'uninstall succeeds')
    f.check_equal(unix_tree(f, folder2), {'user.txt': b'mine'}, 'uninstall: listed files gone, user file kept')
    f.check(f.manifest('901') is None and not os.path.exists(link), 'uninstall: manifest and shortcut gone')
    rc, _, _ = f.run('--root', root2, '--mode', 'install', '--product', '901')
    rc2, _, _ = f.run('--root', root2, '--mode', 'uninstall', '--product', '901', '--purge')
    f.check(rc == 0 and rc2 == 0 and not os.path.exists(f.unix(folder2)), 'purge: the product folder is gone')


def failed_updates(f):
    root = f.fresh_root('FlowFailing')
    f.forget('902')
    good = f.serve('fail-1.zip', make_zip(V1))
    f.catalog([item(902, 'Failing', '1.0', good)])
    rc, _, err = f.run('--root', root, '--mode', 'install', '--product', '902')
    f.check_equal(rc, 0, 'failing updates: the first install succeeds')
    before = unix_tree(f, root + '\\Failing')
    manifest = f.manifest('902')
    cases = [
        ('a web page', dict(body='<html>maintenance</html>', content_type='text/html')),
        ('a cut body', dict(body_size=50000, cut_after=1000)),
        ('404', dict(status=404, body='gone')),
    ]
    for number, (what, rule) in enumerate(cases):
        url = f.serve('fail-2-%d.zip' % number, None, **rule)
        f.catalog([item(902, 'Failing', '2.0', url)])
        reports = len(f.requests('/'))
        rc, res, err = f.run('--root', root, '--mode', 'update', '--product', '902')
        result = res.get('902', {})
        f.check(rc == 1 and not result.get('ok') and result.get('failure_kind') == 1,
                'update answered with %s fails as a download failure' % what)
        f.check_equal(unix_tree(f, root + '\\Failing'), before, '%s: the installed version is untouched' % what)
        f.check_equal(f.manifest('902'), manifest, '%s: the manifest is untouched' % what)
        sent = [r for r in f.requests('/')[reports:] if 'report_failure' in r['query']]
        f.check(len(sent) == 1 and 'puc_type=902&failure_type=download_failed' in sent[0]['body'],
                '%s: one failure report with its kind' % what)


def escaping_entry(f):
    root = f.fresh_root('FlowEscape')
    f.forget('903')
    package = make_zip({'ok.txt': b'fine', '../escaped.txt': b'outside', 'Esc.exe': b'MZ'})
    f.catalog([item(903, 'Escape', '1.0', f.serve('escape.zip', package), runname='Esc.exe')])
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '903')
    f.check(rc == 1 and not res.get('903', {}).get('ok'), 'a ZIP entry leaving its folder fails the install')
    f.check(not os.path.exists(f.unix(root + '\\escaped.txt')) and
            not os.path.exists(f.unix(root + '\\temp_setup\\escaped.txt')), 'escaping entry: nothing written outside')
    f.check_equal(unix_tree(f, root + '\\Escape'), {}, 'escaping entry: nothing left in the product folder')
    f.check(f.manifest('903') is None, 'escaping entry: no manifest')


def same_root_other_name(f):
    for what, first, second in [('another drive letter', 'C:\\FlowSame', 'S:\\FlowSame'),
                                ('letter case beyond ASCII', 'C:\\FlowÄpps', 'C:\\Flowäpps')]:
        root = f.fresh_root(first[3:])
        f.forget('904')
        f.catalog([item(904, 'Same', '1.0', f.serve('same.zip', make_zip(V1)))])
        rc, _, _ = f.run('--root', root, '--mode', 'install', '--product', '904')
        rc2, res, err = f.run('--root', second, '--mode', 'update', '--product', '904')
        f.check(rc == 0 and rc2 == 0, '%s: install and update succeed' % what)
        f.check_equal(unix_tree(f, root + '\\Same'), as_files(V1), '%s: an update in place, nothing deleted' % what)
        f.check(('BASE\t%s\n' % root) in (f.manifest('904') or ''), '%s: the recorded root is unchanged' % what)


def install_after_uninstall(f):
    root = f.fresh_root('FlowAgain')
    f.forget('905')
    f.catalog([item(905, 'Again', '1.0', f.serve('again.zip', make_zip(V1)))])
    rc, _, _ = f.run('--root', root, '--mode', 'install', '--product', '905')
    rc2, res, err = f.run('--root', root, '--mode', 'uninstall,install', '--product', '905')
    f.check(rc == 0 and rc2 == 0 and res.get('905', {}).get('installed') == 1,
            'install after uninstall in one session: succeeds')
    f.check_equal(unix_tree(f, root + '\\Again'), as_files(V1), 'install after uninstall: the files are back')
    f.check(f.manifest('905') is not None, 'install after uninstall: the manifest is back')


FLOW_LINES = ('正在下载安装包', '安装包格式识别', '正在安装软件', '以解压部署模式', '解压结果', '部署结果', '开始创建桌面快捷方式',
              '已保存产品', '软件安装完成', '迁移', '正在按软件文件清单删除', '已删除产品文件', '软件卸载完成')


def flow_lines(f, since):
    """The product flow's own log lines written after since characters."""
    lines = [line[22:] for line in f.log()[since:].splitlines() if line[22:].startswith('[Parcelwright] ')]
    return [line[15:] for line in lines if line[15:].startswith(FLOW_LINES)]


def install_lines(root, folder, puc, manifest):
    return ['正在下载安装包…', re.escape('安装包格式识别：ZIP，路径：%s\\temp_setup\\%s-' % (root, puc)) + r'\d+-\d+\\package\.bin',
            '正在安装软件...', '以解压部署模式，目标：' + folder, '解压结果：成功', '部署结果：成功，错误：',
            '开始创建桌面快捷方式。', '已保存产品%s安装清单：%s' % (puc, manifest), '软件安装完成。']


def check_lines(f, lines, patterns, what):
    matched = len(lines) == len(patterns) and all(
        re.fullmatch(p if p.startswith(re.escape('安装包')) else re.escape(p), line) for p, line in zip(patterns, lines))
    f.check(matched, '%s: the log lines in order: %r' % (what, lines))


def log_of_a_life(f):
    # What a log reader sees of one product: each run's lines in their order.
    root, root2 = f.fresh_root('FlowLog'), f.fresh_root('FlowLog2')
    f.forget('914')
    manifest = 'C:\\users\\%s\\AppData\\Local\\TwParcelwright\\installed\\914.manifest' % os.path.basename(
        f.user_folder())
    folder, folder2 = root + '\\日志工具', root2 + '\\日志工具'
    f.catalog([item(914, '日志工具', '1.0', f.serve('log-1.zip', make_zip(V1)))])
    for what, run_root, version, expected_folder in [('install', root, '1.0', folder), ('update', root, '2.0', folder),
                                                     ('move', root2, '2.0', folder2)]:
        if version == '2.0':
            f.catalog([item(914, '日志工具', '2.0', f.serve('log-2.zip', make_zip(V2)))])
        since = len(f.log())
        rc, _, _ = f.run('--root', run_root, '--mode', 'install' if what == 'install' else 'update', '--product', '914',
                         '--shortcut')
        f.check_equal(rc, 0, 'log: the %s succeeds' % what)
        check_lines(f, flow_lines(f, since), install_lines(run_root, expected_folder, '914', manifest), 'log: ' + what)
    # The record's list is read newest first, and deleted in that order.
    listed = [line[5:] for line in (f.manifest('914') or '').split('\n') if line.startswith('FILE\t')][::-1]
    since = len(f.log())
    rc, _, _ = f.run('--root', root2, '--mode', 'uninstall', '--product', '914')
    f.check_equal(rc, 0, 'log: the uninstall succeeds')
    check_lines(f, flow_lines(f, since),
                ['正在按软件文件清单删除…'] + ['已删除产品文件：' + path for path in listed] + ['软件卸载完成。'], 'log: uninstall')


def failed_move(f):
    # A move whose new install fails keeps the old copy whole and still
    # described: an uninstall by its file list in the same run removes it.
    root, other = f.fresh_root('FlowStay'), f.fresh_root('FlowStayNew')
    f.forget('911')
    f.catalog([item(911, 'Stay', '1.0', f.serve('stay-1.zip', make_zip(V1)))])
    rc, _, _ = f.run('--root', root, '--mode', 'install', '--product', '911')
    folder = root + '\\Stay'
    with open(f.unix(folder + '\\user.cfg'), 'wb') as out:
        out.write(b'mine')
    before, manifest = unix_tree(f, folder), f.manifest('911')
    f.catalog([item(911, 'Stay', '2.0', f.serve('stay-2.zip', None, status=404, body='gone'))])
    rc2, res, _ = f.run('--root', other, '--mode', 'update', '--product', '911')
    f.check(rc == 0 and rc2 == 1 and not res.get('911', {}).get('ok'), 'failed move: the install, then a failed move')
    f.check_equal(unix_tree(f, folder), before, 'failed move: the old folder byte for byte')
    f.check_equal(f.manifest('911'), manifest, 'failed move: the old manifest as it was')
    f.check(not os.path.exists(f.unix(other + '\\Stay')), 'failed move: nothing kept under the new root')
    rc3, _, err = f.run('--root', other, '--mode', 'update,uninstall', '--product', '911')
    f.check_equal(unix_tree(f, folder), {'user.cfg': b'mine'},
                  'failed move, then an uninstall in the same run: the listed files gone, the user\'s file kept')
    f.check(f.manifest('911') is None, 'failed move, then an uninstall in the same run: the manifest gone')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'zip')
    try:
        life_cycle(f)
        failed_updates(f)
        escaping_entry(f)
        same_root_other_name(f)
        install_after_uninstall(f)
        failed_move(f)
        log_of_a_life(f)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
