#!/usr/bin/env python3
"""tw_setup.exe started the way users start it: the help and error boxes with
their exact texts and exit codes, a product locked by the file name, and a
normal start that opens the 720 x 700 main window and logs the host line."""
import os
import shutil

import harness

USAGE = ('用法：tw_setup.exe [--puctype 编号] [--path 安装目录]\n'
         '--puctype 只显示并安装指定产品。\n--path 指定安装根目录。')
INVALID = '命令行参数无效。\n用法：tw_setup.exe [--puctype 编号] [--path 安装目录]'
CAPTION = 'Tarnwick软件下载'


def box_text(window):
    # The message text is the static control with id 65535 (0xFFFF).
    for control in window['controls']:
        if control.get('id') == '65535':
            return control.get('text')
    return None


def expect_box(s, exe_path, arguments, text, what):
    exe_name = os.path.basename(exe_path)
    proc = s.start(exe_path, *arguments)
    rc, out = s.driver('close-box', '--exe', exe_name)
    windows = harness.parse_dump(out)
    if s.check(rc == 0 and len(windows) == 1, what + ': a message box appears'):
        s.check_equal(windows[0]['title'], CAPTION, what + ': caption')
        s.check_equal(box_text(windows[0]), text, what + ': text')
    s.check_equal(harness.wait_exit(proc), 2, what + ': exit code 2 once the box is closed')
    # No main window was ever created.
    rc, out = s.driver('dump', '--exe', exe_name, '--class', 'TwParcelwrightNative', wait_ms=0)
    s.check(rc == 3, what + ': no main window')


def close_main_window(s, exe_name, what):
    """Closes the main window as its close box would, answering Yes to the exit question."""
    s.driver('close', '--exe', exe_name, '--class', 'TwParcelwrightNative')
    rc, out = s.driver('dump', '--exe', exe_name, '--class', '#32770')
    boxes = harness.parse_dump(out)
    s.check(rc == 0 and len(boxes) == 1 and box_text(boxes[0]) == '确认退出安装吗？', what + ': the exit question')
    s.driver('click-id', '--exe', exe_name, '--class', '#32770', '--id', '6')


def expect_main_window(s):
    log = s.log_path()
    if os.path.exists(log):
        os.remove(log)
    proc = s.start(s.args.setup)
    rc, out = s.driver('dump', '--exe', 'tw_setup.exe', '--class', 'TwParcelwrightNative')
    windows = harness.parse_dump(out)
    if s.check(rc == 0 and len(windows) == 1, 'normal start: the main window appears'):
        s.check_equal(windows[0]['title'], CAPTION, 'normal start: title')
        s.check_equal(windows[0]['size'], '720x700', 'normal start: 720 x 700 at 96 DPI')
        s.check_equal(windows[0]['visible'], '1', 'normal start: visible')
    try:
        with open(log, 'rb') as f:
            lines = f.read().decode('utf-8').split('\r\n')
    except OSError:
        lines = []
    s.check(any(line.endswith('] [Parcelwright] 主机架构：x86/x64') for line in lines),
            'normal start: the host line is logged')
    close_main_window(s, 'tw_setup.exe', 'normal start')
    s.check_equal(harness.wait_exit(proc), 0, 'normal start: exit code 0 after the window closes')


def main():
    args = harness.parse_args()
    with harness.Display() as display:
        s = harness.Session(args, display)
        expect_box(s, args.setup, ['--help'], USAGE, '--help')
        expect_box(s, args.setup, ['-h'], USAGE, '-h')
        expect_box(s, args.setup, ['--puctype', '0'], INVALID, '--puctype 0')
        expect_box(s, args.setup, ['C:\\Apps'], INVALID, 'a lone positional argument')

        folder = s.scratch('startup')
        locked = os.path.join(folder, 'TW_SETUP_O77.EXE')
        shutil.copy(args.setup, locked)
        expect_box(s, locked, ['--puctype', '78'], INVALID, 'TW_SETUP_O77.EXE --puctype 78')

        # The same locked copy with its own number starts normally.
        proc = s.start(locked, '--puctype', '77')
        rc, out = s.driver('dump', '--exe', 'TW_SETUP_O77.EXE', '--class', 'TwParcelwrightNative')
        s.check(rc == 0 and len(harness.parse_dump(out)) == 1, 'TW_SETUP_O77.EXE --puctype 77: the main window appears')
        close_main_window(s, 'TW_SETUP_O77.EXE', 'TW_SETUP_O77.EXE --puctype 77')
        s.check_equal(harness.wait_exit(proc), 0, 'TW_SETUP_O77.EXE --puctype 77: exit code 0')

        expect_main_window(s)
        s.finish()


if __name__ == '__main__':
    main()
