#!/usr/bin/env python3
"""The row actions of the progress and results pages without a mouse, driven
through the real window: Space takes a row's first band (retry on page 1, the
launch-now mark on page 2); Shift+F10, the menu key and a right click open a
menu of the row's actions. A retry from either reaches that product only, the
manual-download entry opens its address in the (recording) browser, and the
launch-now mark set from the keyboard decides which program opens."""
import os

import flows
import harness
from flows import make_zip, tree
from window import AGREE, FIRST_ROW_CHECK, LIST, MENU, PRIMARY, RETRY, Browser, Window

FLOW = 'rowkeys'
FIRST, SECOND = '976', '977'
NAMES = {FIRST: '键盘甲', SECOND: '键盘乙'}
YES = 6


def item(puc, url):
    return {'puc_type': int(puc), 'puc_name': NAMES[puc], 'version': '1.0', 'runname': 'Main.exe',
            'download_url': url}


def requests(f):
    """Package requests of both products since the test started."""
    return [len(f.requests('/flow-%s/%s.zip' % (FLOW, puc), since=f.logged_before)) for puc in (FIRST, SECOND)]


def start_install(s, w, root, what):
    """Starts the window on root and installs both products."""
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('选择软件', what + ': nothing installed')
    w.click(FIRST_ROW_CHECK)
    w.click(FIRST_ROW_CHECK + 1)
    w.click(AGREE)
    w.click(PRIMARY)
    return app


def select(s, w, rows, index, what):
    """Selects a row with a click left of its action column, which gives the list the focus."""
    _, top, right, _ = rows[index]['rect']
    w.click_at(LIST, right - 136, top + 36)
    expected = ['1' if i == index else '0' for i in range(len(rows))]
    s.check(flows.wait_for(lambda: [r['selected'] for r in w.items() or []] == expected),
            '%s: row %d is selected' % (what, index))


def menu_choice(s, w, opener, downs, what, shot=None):
    """Opens a row's menu with opener, moves down to an entry and takes it."""
    opener()
    if not s.check(w.menu_open(), what + ': the row menu opens'):
        return
    if shot:
        w.shot(shot)
    for _ in range(downs):
        w.key('down', focused=LIST)
    w.key('enter', focused=LIST)
    s.check(flows.wait_for(lambda: w.driver('dump', cls=MENU, wait_ms=200)[0] != 0), what + ': the menu closes')


def retries_and_links(s, f, w, browser, files):
    root = f.fresh_root('KeysRetry')
    manual = s.args.origin + '/manual/' + FIRST
    first, second = (item(puc, f.serve(puc + '.zip', status=404)) for puc in (FIRST, SECOND))
    first['update_error_url'] = manual
    f.catalog([first, second])
    app = start_install(s, w, root, 'page 1')
    s.check(flows.wait_for(lambda: w.shown(RETRY), 120), 'page 1: both installs failed')
    rows = w.items() or []
    if not s.check_equal(len(rows), 2, 'page 1: both products are listed'):
        return
    select(s, w, rows, 0, 'page 1')
    menu_choice(s, w, lambda: w.key('shift+f10', focused=LIST), 2, 'page 1, Shift+F10', 'page1-row-menu')  # 重试, 手动下载
    s.check(flows.wait_for(lambda: manual in browser.addresses()), 'page 1: 手动下载 from the menu opens its address')
    s.check_equal(requests(f), [1, 1], 'page 1: the link retried nothing')

    f.serve(FIRST + '.zip', make_zip(files))
    select(s, w, rows, 0, 'page 1, back from the browser')
    w.key('space', focused=LIST)
    folder = {puc: f.unix(root + '\\' + name) for puc, name in NAMES.items()}
    s.check(flows.wait_for(lambda: tree(folder[FIRST]) == files, 60), 'page 1: Space retried the first product')
    s.check(flows.wait_for(lambda: w.shown(PRIMARY), 60), 'page 1: with one product installed 下一步 is offered')
    s.check_equal(w.title(), '下载与安装', 'page 1: the failure left keeps the page')
    s.check_equal(requests(f), [2, 1], 'page 1: Space retried that product only')

    f.serve(SECOND + '.zip', make_zip(files))
    _, top, right, _ = rows[1]['rect']
    menu_choice(s, w, lambda: w.right_click_at(LIST, right - 136, top + 36), 1, 'page 1, right click')  # 重试
    w.wait_title('安装清单', 'page 1: the second product retried from the menu')
    s.check_equal(tree(folder[SECOND]), files, 'page 1: the second product is installed')
    s.check_equal(requests(f), [2, 2], 'page 1: the menu retried that product only')
    w.driver('close')
    w.answer_box(YES)
    s.check_equal(harness.wait_exit(app, 60), 0, 'page 1: leaving ends with exit code 0')


def dark(r, g, b):
    return r + g + b < 240


def launch_mark(w, row, name):
    """Dark pixels in the launch-now box of a results row: more when it is ticked."""
    picture, where = w.shot(name), w.in_picture(row)
    if picture is None or where is None:
        return None
    _, top, right = where
    return picture.count((right - 124, top + 12, right - 108, top + 28), dark)


def launch_marks(s, f, w, files):
    root = f.fresh_root('KeysLaunch')
    f.catalog([item(puc, f.serve(puc + '.zip', make_zip(files))) for puc in (FIRST, SECOND)])
    app = start_install(s, w, root, 'page 2')
    w.wait_title('安装清单', 'page 2: both installed')
    rows = w.items() or []
    if not s.check_equal(len(rows), 2, 'page 2: both products are listed'):
        return
    select(s, w, rows, 0, 'page 2')
    clear = launch_mark(w, rows[0], 'page2-keys-clear')  # nothing opens by default
    w.key('space', focused=LIST)
    s.check(flows.wait_for(lambda: (launch_mark(w, rows[0], 'page2-keys-space') or 0) > clear),
            'page 2: Space ticks the launch-now mark')
    menu_choice(s, w, lambda: w.key('apps', focused=LIST), 1, 'page 2, the menu key')  # 立即开启
    s.check(flows.wait_for(lambda: launch_mark(w, rows[0], 'page2-keys-menu') == clear),
            'page 2: the menu clears the mark again')
    menu_choice(s, w, lambda: w.key('shift+f10', focused=LIST), 1, 'page 2, Shift+F10')
    s.check(flows.wait_for(lambda: (launch_mark(w, rows[0], 'page2-keys-ticked') or 0) > clear),
            'page 2: and ticks it')
    w.click(PRIMARY)  # 下一步 opens the marked programs
    w.wait_title('✓  安装完成', 'page 2: the programs were opened')
    started = {puc: f.unix(root + '\\' + name + '\\Main.exe') + '.args' for puc, name in NAMES.items()}
    s.check(flows.wait_for(lambda: os.path.exists(started[FIRST])), 'page 2: the marked product was started')
    s.check(not os.path.exists(started[SECOND]), 'page 2: the other was not')
    w.click(PRIMARY)  # 完成
    s.check_equal(harness.wait_exit(app, 60), 0, 'page 2: finish, exit code 0')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, FLOW)
    f.logged_before = len(f.requests())
    for puc in NAMES:
        f.forget(puc)
    with harness.Display() as display:
        s = harness.Session(args, display)
        w = Window(s)
        browser = Browser(s, s.scratch(FLOW))
        files = {'Main.exe': flows.stand_in(args), 'data.txt': b'keys'}
        try:
            retries_and_links(s, f, w, browser, files)
            for puc in NAMES:
                f.forget(puc)
            launch_marks(s, f, w, files)
        finally:
            browser.restore()
            f.close()
        s.finish()


if __name__ == '__main__':
    main()
