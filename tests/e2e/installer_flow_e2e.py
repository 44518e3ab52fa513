#!/usr/bin/env python3
"""Packages that run programs, through engine_driver.exe: an EXE installer
product (recorded as installed by its own installer, so neither uninstalled by
list nor moved), and a package changed on disk after its download while a
prerequisite installed (never extracted)."""
import glob
import os

import flows
import harness
from flows import make_zip, tree


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


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'exe')
    try:
        exe_installer(f, args)
        package_changed_before_use(f, args)
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
