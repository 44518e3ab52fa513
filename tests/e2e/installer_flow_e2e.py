#!/usr/bin/env python3
"""Packages that run programs, through engine_driver.exe: an EXE installer
product (recorded as installed by its own installer, so neither uninstalled by
list nor moved), and a package changed on disk after its download while a
prerequisite installed (never extracted); self-extractors when no extractor is
installed (a RAR one runs as its installer, a 7z one fails)."""
import glob
import os

import flows
import harness
from flows import make_zip, read, tree


def exe_installer(f, args):
    root = f.fresh_root('FlowExe')
    f.forget('906')
    folder = root + '\\ExeTool'
    script = f.script('installer.script', 'write %s\\bin\\ExeTool.exe MZ\nexit 0\n' % folder)
    f.catalog([{'puc_type': 906, 'puc_name': 'ExeTool', 'version': '1.0', 'runname': 'ExeTool.exe',
                'download_url': f.serve('setup.exe', flows.stand_in(args))}])
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '906',
                         env={'TW_STAND_IN_SCRIPT': script})
    result = res.get('906', {})
    if not f.check(rc == 0 and result.get('ok'), 'EXE installer product installs'):
        print(err)
    f.check_equal(result.get('main_program_path'), folder + '\\bin\\ExeTool.exe', 'EXE: the main program is found')
    manifest = f.manifest('906') or ''
    f.check('TYPE\t1\n' in manifest and ('MAIN\t%s\\bin\\ExeTool.exe\n' % folder) in manifest,
            'EXE: manifest type 1 with the main program')
    calls = glob.glob(f.unix(root + '\\temp_setup') + '/906-*/package.exe.args')
    f.check(len(calls) == 1, 'EXE: the package ran once as package.exe in its work folder')

    rc, res, _ = f.run('--root', root, '--mode', 'uninstall', '--product', '906')
    f.check_equal(res.get('906', {}).get('last_error'),
                  '该产品使用独立EXE安装，请使用其原生卸载程序处理系统关联；不能按目录冒充完整卸载。',
                  'EXE: not uninstalled by list')
    rc, res, _ = f.run('--root', f.fresh_root('FlowExe2'), '--mode', 'update', '--product', '906',
                       env={'TW_STAND_IN_SCRIPT': script})
    f.check_equal(res.get('906', {}).get('last_error'),
                  '此软件由独立安装程序管理安装位置，无法由下载器迁移到所选目录；请先使用软件自带卸载程序，再按所选目录重新安装。',
                  'EXE: not moved to another root')
    f.check(os.path.exists(f.unix(folder + '\\bin\\ExeTool.exe')), 'EXE: refusals leave the install alone')


def package_changed_before_use(f, args):
    root = f.fresh_root('FlowTamper')
    f.forget('907')
    # The prerequisite's installer runs in the work folder and rewrites the
    # downloaded package there, as anything with write access could.
    f.serve_at('/ms-short/dotnet/8.0/windowsdesktop-runtime-win-x86.exe', flows.stand_in(args))
    script = f.script('tamper.script', 'write package.bin changed\nexit 0\n')
    package = make_zip({'Tamper.exe': b'MZ tamper', 'data.bin': b'data'})
    f.catalog([{'puc_type': 907, 'puc_name': 'Tamper', 'version': '1.0', 'runname': 'Tamper.exe',
                'environment_programs': ['dotnet_desktop_8_x86'], 'download_url': f.serve('tamper.zip', package)}])
    reports = len(f.requests('/'))
    rc, res, err = f.run('--root', root, '--mode', 'install', '--product', '907', env={'TW_STAND_IN_SCRIPT': script})
    result = res.get('907', {})
    f.check(rc == 1 and result.get('failure_kind') == 4, 'changed package: the install fails as a corrupt package')
    f.check_equal(result.get('last_error'), '已下载的安装包已被删除或损坏，可能被安全软件隔离，请检查后重新下载安装。',
                  'changed package: the message')
    f.check_equal(tree(f.unix(root + '\\Tamper')), {}, 'changed package: nothing was deployed')
    sent = [r for r in f.requests('/')[reports:] if 'report_failure' in r['query']]
    f.check(len(sent) == 1 and 'failure_type=package_corrupted' in sent[0]['body'], 'changed package: reported')


def self_extractors(f, args):
    # Without 7-Zip or WinRAR both are asked to unpack themselves; when that
    # gives nothing, a RAR self-extractor is run as the installer it also is,
    # a 7z self-extractor is not.
    for puc, name, marker, falls_back in [(912, 'RarSfx', b'Rar!\x1a\x07\x00', True),
                                          (913, 'SevenSfx', b'7z\xbc\xaf\x27\x1c', False)]:
        root = f.fresh_root('Flow' + name)
        f.forget(str(puc))
        folder = root + '\\' + name
        script = f.script(name + '.script', 'write %s\\%s.exe MZ\nexit 0\n' % (folder, name))
        package = flows.stand_in(args) + marker + bytes(64)
        f.catalog([{'puc_type': puc, 'puc_name': name, 'version': '1.0', 'runname': name + '.exe',
                    'download_url': f.serve(name + '.exe', package)}])
        logged = len(f.log())
        rc, res, err = f.run('--root', root, '--mode', 'install', '--product', str(puc),
                             env={'TW_STAND_IN_SCRIPT': script})
        log = f.log()[logged:]
        ran = glob.glob(f.unix(root + '\\temp_setup') + '/%d-*/package.exe.args' % puc)
        result = res.get(str(puc), {})
        f.check_equal(('[Parcelwright] 解压部署失败，回退为安装程序模式' in log,
                       '[Parcelwright] 回退安装程序结果：成功' in log), (falls_back, falls_back),
                      '%s: the fallback lines of the log' % name)
        f.check_equal((rc, bool(result.get('ok'))), (0, True) if falls_back else (1, False),
                      '%s: installed, or failed' % name)
        last_run = (read(ran[0]) or b'').decode('utf-8', 'replace') if len(ran) == 1 else None
        if falls_back:
            runs = (last_run or '').strip().splitlines()
            f.check(len(runs) == 2 and '-s "-d' in runs[0] and runs[1].rstrip().endswith('package.exe"'),
                    '%s: run to unpack itself, then as the installer: %r' % (name, runs))
            f.check('TYPE\t1\n' in (f.manifest(str(puc)) or ''), '%s: recorded as installed by its installer' % name)
        else:
            runs = (last_run or '').strip().splitlines()
            f.check(len(runs) == 1 and '-y "-o' in runs[0], '%s: run only to unpack itself: %r' % (name, runs))
            f.check_equal(result.get('last_error'), '安装包没有解压出任何文件，无法确认安装成功。',
                          '%s: the message' % name)
            f.check(f.manifest(str(puc)) is None, '%s: no record' % name)


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'exe')
    try:
        exe_installer(f, args)
        package_changed_before_use(f, args)
        self_extractors(f, args)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
