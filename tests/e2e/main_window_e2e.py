#!/usr/bin/env python3
"""tw_setup.exe driven through its window on a private display, against the
loopback server with packages made here: the agreement gate, an install that
opens the installed program and finishes with exit code 0, an update whose
confirmation is first declined and then accepted (the user's file is kept),
an uninstall with and without deleting the configuration, the exit question
answered No and then Yes, the links (a recording stand-in answers for the
browser) and the Defender step (a scripted PowerShell). The disk and
the server's request log are checked as well as the window, and every page
is saved as a screenshot in the build folder's screenshots/main."""
import os

import flows
import harness
from flows import make_zip, read, tree
from window import BOX, CLASS, EXE, Browser, Window

NAME = '窗口工具'
PUC = '961'


def links(s, w, browser):
    for control, address in ((107, s.args.origin + '/?route=user_center/contact&puctype=10'),
                             (105, s.args.origin + '/user_agreement.php')):
        w.click(control)
        s.check(flows.wait_for(lambda: address in browser.addresses()), 'the link %d opens %s' % (control, address))


def install(s, f, w, root, package, browser, powershell):
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('选择软件', 'first start, nothing installed')
    w.shot('page0-choose')
    w.click(109)  # 开始安装 without the agreement
    s.check(flows.wait_for(lambda: (w.control(114) or {}).get('text') == '请先阅读并同意许可协议和隐私协议。'),
            'the agreement gate says why nothing started')
    s.check_equal(tree(f.unix(root)), {}, 'the agreement gate: nothing installed')
    links(s, w, browser)
    w.click(2000)  # the first row's check box
    w.click(104)
    w.click(109)
    w.wait_title('安装清单', 'install ran')
    w.shot('page2-results')
    folder = root + '\\' + NAME
    s.check_equal(tree(f.unix(folder)), {'Main.exe': package['Main.exe'], 'data.txt': b'v1'},
                  'install: the files are on disk')
    s.check_equal(len(f.requests('/flow-window/tool-1.zip')), 1, 'install: one package request')
    s.check(root in powershell.folders(), 'install: the root was excluded from Defender scans (%r)' % powershell.folders())
    w.click(109)  # 下一步: opens the program
    w.wait_title('✓  安装完成', 'the program was opened')
    w.shot('page3-finish')
    s.check(flows.wait_for(lambda: read(f.unix(folder + '\\Main.exe') + '.args') is not None),
            'the installed program was started')
    w.click(109)  # 完成
    s.check_equal(harness.wait_exit(app), 0, 'finish: exit code 0')


def update(s, f, w, root):
    folder = root + '\\' + NAME
    with open(f.unix(folder + '\\user.cfg'), 'wb') as out:
        out.write(b'mine')
    v2 = {'Main.exe': flows.stand_in(s.args), 'data.txt': b'v2'}
    f.catalog([{'puc_type': int(PUC), 'puc_name': NAME, 'version': '2.0', 'runname': 'Main.exe',
                'download_url': f.serve('tool-2.zip', make_zip(v2))}])
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('欢迎使用Tarnwick软件', 'something installed: the welcome page')
    w.shot('page5-welcome')
    w.click(129)  # 更新软件
    w.wait_title('更新软件', 'the update card')
    w.click(2000)
    w.click(104)
    w.click(109)
    caption, text = w.box()
    s.check_equal(caption, '确认软件操作', "update: the confirmation box's caption")
    s.check(text is not None and text.startswith('确认更新以下软件吗？\r\n重新下载安装包并覆盖，保留衍生文件。\r\n\r\n' + NAME),
            'update: the confirmation lists the product (%r)' % text)
    w.key('enter', cls=BOX)  # the default answer is No
    s.check(flows.wait_for(w.no_box), 'update: Enter closes the confirmation')
    s.check_equal(read(f.unix(folder + '\\data.txt')), b'v1', 'update declined: nothing changed')
    s.check_equal(len(f.requests('/flow-window/tool-2.zip')), 0, 'update declined: nothing downloaded')
    w.click(109)
    w.answer_box(6)  # Yes
    w.wait_title('安装清单', 'update ran')
    s.check_equal(read(f.unix(folder + '\\data.txt')), b'v2', 'update: the new files')
    s.check_equal(read(f.unix(folder + '\\user.cfg')), b'mine', "update: the user's file is kept")
    s.driver('close', '--exe', EXE, '--class', CLASS)
    w.answer_box(6)  # leave: the exit question, then the undo of what did not finish
    s.check(harness.wait_exit(app, 120) is not None, 'the window closes by itself after the undo')
    s.check_equal(read(f.unix(folder + '\\data.txt')), b'v2', 'the finished update stays after leaving')


def uninstall_and_exit_question(s, f, w, root):
    folder = root + '\\' + NAME
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('欢迎使用Tarnwick软件', 'the welcome page again')
    s.driver('close', '--exe', EXE, '--class', CLASS)
    s.check_equal(w.box(), ('退出安装', '确认退出安装吗？'), 'the exit question')
    # A second close while it is open asks nothing more: the key below is read after that close,
    # and a second question would stay on screen after it.
    s.driver('close', '--exe', EXE, '--class', CLASS)
    w.key('enter', cls=BOX)  # the default answer is No
    s.check(flows.wait_for(w.no_box), 'the exit question opens once and Enter answers it')
    s.check(w.wait_title('欢迎使用Tarnwick软件', 'No keeps the window'), 'No keeps the window')
    w.click(128)  # 卸载
    w.wait_title('选择软件', 'the uninstall card')
    w.shot('page0-uninstall')
    w.click(2000)
    w.click(109)  # no agreement needed
    text = w.answer_box(6)
    s.check(text is not None and (folder in text), 'uninstall: the confirmation names the folder')
    w.wait_title('卸载清单', 'uninstall ran')
    s.check(not os.path.exists(f.unix(folder + '\\Main.exe')), 'uninstall: the program files are gone')
    s.check_equal(read(f.unix(folder + '\\user.cfg')), b'mine', "uninstall without purge keeps the user's file")
    w.click(109)
    w.wait_title('✓  卸载完成', 'uninstall finished')
    s.driver('close', '--exe', EXE, '--class', CLASS)
    s.check_equal(harness.wait_exit(app), 0, 'closing the finished page: exit code 0 without a question')


def uninstall_with_configuration(s, f, w, root):
    folder = root + '\\' + NAME
    rc, _, err = f.run('--root', root, '--mode', 'install', '--product', PUC)
    s.check(rc == 0, 'installed again without the window')
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('欢迎使用Tarnwick软件', 'installed again: the welcome page')
    w.click(128)  # 卸载
    w.wait_title('选择软件', 'the uninstall card')
    w.click(2000)
    w.click(130)  # 删除配置文件
    w.click(109)
    text = w.answer_box(6)
    s.check(text is not None and '将永久删除所列软件目录及全部配置文件。' in text, 'purge: the question says so')
    w.wait_title('卸载清单', 'purge ran')
    s.check(not os.path.exists(f.unix(folder)), "purge: the product folder is gone, the user's file with it")
    s.driver('close', '--exe', EXE, '--class', CLASS)
    w.answer_box(6)
    s.check(harness.wait_exit(app, 120) is not None, 'the window closes after leaving the results page')


def defender_refuses(s, f, w, powershell):
    # Defender that will not take the folders: one warning box for the run,
    # naming every folder with its reason; after it the install goes on.
    reasons = {
        '1168': '命令执行后未在 Defender 排除列表中找到安装目录，可能由 Windows 篡改防护或组织策略阻止。',
        '5': 'Windows Defender 排除项设置失败（PowerShell 错误 0x5），请检查 Defender 服务、篡改防护或组织策略。',
    }
    for code, reason in reasons.items():
        root = f.fresh_root('WindowDefender' + code)
        f.forget('963')
        package = {'Main.exe': flows.stand_in(s.args), 'data.txt': code.encode()}
        f.catalog([{'puc_type': 963, 'puc_name': '排除工具', 'version': '1.0', 'runname': 'Main.exe',
                    'download_url': f.serve('defender-%s.zip' % code, make_zip(package))}])
        powershell.script('exit %s\n' % code)
        app = s.start(s.args.setup, '--path', root)
        w.wait_title('选择软件', 'defender %s: the list' % code)
        w.click(2000)
        w.click(104)
        w.click(109)
        caption, text = w.box()
        errors = '\r\n'.join('%s：%s' % (folder, reason) for folder in (root, root + '\\temp_setup'))
        s.check_equal(caption, 'Defender 排除项未添加', 'defender %s: the warning\'s caption' % code)
        s.check_equal(text, '以下安装目录未能自动加入 Microsoft Defender 排除项，安装将继续：\r\n\r\n' + errors +
                      '\r\n\r\n若错误提示策略阻止，可能由 Windows 篡改防护或组织策略限制。可手动进入：Windows 安全中心 → '
                      '病毒和威胁防护 → 管理设置 → 排除项 → 添加或删除排除项 → 添加文件夹。',
                      'defender %s: the warning names each folder with its reason' % code)
        w.shot('defender-warning-%s' % code)
        w.click(1, BOX)
        w.wait_title('安装清单', 'defender %s: the install went on' % code)
        code_, out = w.driver('dump', cls=BOX, wait_ms=1000)
        s.check_equal(harness.parse_dump(out) if code_ == 0 else [], [], 'defender %s: one warning only' % code)
        s.check_equal(tree(f.unix(root + '\\排除工具')), package, 'defender %s: installed' % code)
        w.driver('close')
        w.answer_box(6)
        s.check(harness.wait_exit(app, 120) is not None, 'defender %s: the window closes' % code)
    powershell.script('exit 0\n')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'window')
    with harness.Display() as display:
        s = harness.Session(args, display)
        w = Window(s)
        root = f.fresh_root('WindowApps')
        f.forget(PUC)
        package = {'Main.exe': flows.stand_in(args), 'data.txt': b'v1'}
        f.catalog([{'puc_type': int(PUC), 'puc_name': NAME, 'version': '1.0', 'runname': 'Main.exe',
                    'download_url': f.serve('tool-1.zip', make_zip(package))},
                   {'puc_type': 962, 'puc_name': '没有安装包的软件', 'version': '1.0'}])
        browser = Browser(s, s.scratch('window'))
        powershell = harness.ScriptedPowerShell(s)
        try:
            install(s, f, w, root, package, browser, powershell)
            update(s, f, w, root)
            uninstall_and_exit_question(s, f, w, root)
            uninstall_with_configuration(s, f, w, root)
            defender_refuses(s, f, w, powershell)
        finally:
            powershell.restore()
            browser.restore()
            f.close()
        s.finish()


if __name__ == '__main__':
    main()
