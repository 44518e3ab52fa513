#!/usr/bin/env python3
"""Fills the demo vendor server's folder: the catalog and real packages.

  101 a ZIP whose main program is demo_app.exe (a window that says it runs)
  102 an EXE installer (demo_app.exe again: started as package.exe it asks and
      installs itself as "Screen Recorder.exe")
  103 a ZIP for Windows 7 only (shown as not suitable elsewhere)
  104 a ZIP with two runtime prerequisites, whose installers the server also
      serves (a stand-in that succeeds)

With --newer, product 101 is served at version 3.3.0 with a changed file, so
an installed 3.2.0 can be updated. Standard library only.

Usage: make_demo.py --vendor DIR --origin URL --app demo_app.exe --stand-in stand_in.exe
                    --icon tw_setup.ico [--newer]"""
import argparse
import json
import os
import sys

# The packages and the catalog address are made as the flow tests make them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'e2e'))
from flows import CATALOG_TARGET, make_zip  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    for name in ('--vendor', '--origin', '--app', '--stand-in', '--icon'):
        p.add_argument(name, required=True)
    p.add_argument('--newer', action='store_true')
    args = p.parse_args()

    app = open(args.app, 'rb').read()
    stand_in = open(args.stand_in, 'rb').read()
    version = '3.3.0' if args.newer else '3.2.0'
    served = {
        '/packages/picture-helper.zip': make_zip({
            'PictureHelper.exe': app,
            'readme.txt': ('Tarnwick图片助手 %s 演示版。\r\n' % version).encode('utf-8'),
            'filters/basic.dat': bytes(range(256)) * (64 if args.newer else 32)}),
        '/packages/recorder-setup.exe': app,
        '/packages/legacy.zip': make_zip({'Legacy.exe': app}),
        '/packages/sync.zip': make_zip({'DataSync.exe': app, 'sync.ini': b'[sync]\r\ninterval=30\r\n'}),
        '/icons/101.png': open(args.icon, 'rb').read(),
        # The prerequisites' download links on the Microsoft origins, which this build points here too.
        '/ms-short/vc14/vc_redist.x86.exe': stand_in,
        '/ms-link/fwlink/p/': stand_in,
    }
    items = [
        {'puc_type': 101, 'puc_name': 'Tarnwick图片助手', 'version': version, 'order': 1,
         'support_os': ['win7', 'win8', 'win10', 'win11'], 'download_url': args.origin + '/packages/picture-helper.zip',
         'runname': 'PictureHelper.exe', 'icon': args.origin + '/icons/101.png',
         'home_url': args.origin + '/products/101',
         'update_description': '新版本优化了批量导出，修复了偶发的崩溃。' if args.newer else '修复了批量导出时的崩溃问题。'},
        {'puc_type': 102, 'puc_name': 'Tarnwick录屏大师', 'version': '5.0.1', 'order': 2,
         'download_url': args.origin + '/packages/recorder-setup.exe', 'runname': '"Screen Recorder.exe" --first-run'},
        {'puc_type': 103, 'puc_name': 'Tarnwick旧版工具（仅支持 Windows 7）', 'version': '1.0', 'order': 3,
         'support_os': 'win7', 'download_url': args.origin + '/packages/legacy.zip', 'runname': 'Legacy.exe'},
        {'puc_type': 104, 'puc_name': 'Tarnwick数据同步', 'version': '2.4', 'order': 4,
         'environment_programs': ['vc2019_x86', 'webview2'], 'download_url': args.origin + '/packages/sync.zip',
         'runname': 'DataSync.exe'},
    ]
    catalog = {'code': '0', 'error_code': '0', 'msg': '', 'val': {'items': items}}

    os.makedirs(args.vendor, exist_ok=True)
    rules = {CATALOG_TARGET: {'body_file': 'catalog.json', 'content_type': 'application/json'}}
    with open(os.path.join(args.vendor, 'catalog.json'), 'wb') as out:
        out.write(json.dumps(catalog, ensure_ascii=False, indent=2).encode('utf-8'))
    for target, data in served.items():
        name = 'files/' + target.strip('/').replace('/', '_')
        os.makedirs(os.path.join(args.vendor, 'files'), exist_ok=True)
        with open(os.path.join(args.vendor, name), 'wb') as out:
            out.write(data)
        rules[target] = {'body_file': name}
    with open(os.path.join(args.vendor, 'rules-demo.json'), 'w') as out:
        json.dump(rules, out, indent=2)


if __name__ == '__main__':
    main()
