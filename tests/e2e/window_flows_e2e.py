#!/usr/bin/env python3
"""tw_setup.exe driven through its window, the flows around a plain install:
a download cancelled halfway (page 4, the undo, nothing left behind), a failed
install retried from its row with a real click, the install root typed into
its box (a fresh install there, then an installed product moved to another
typed root; a root box that takes no input while the icons still load), and a
product number the catalog lacks, given on the command line and locked by the
file name. Each flow has its own product and root; the
disk and the server's request log are checked as well as the window."""
import os
import random
import shutil

import flows
import harness
from flows import make_zip, tree
from window import (AGREE, BACK, BOX, CLOSE, FIRST_ROW_CHECK, LIST, NOTICE, PRIMARY, RETRY, ROOT_EDIT, UPDATE_CARD,
                    Window)

FLOW = 'winflows'
CANCEL, RETRIED, MOVED, LOADING, MISSING = '971', '972', '973', '975', '999'
PROGRESS_LABEL, REFRESH, CHANGE_ROOT = 122, 111, 102
OK_BUTTON, YES = 1, 6
LOCKED_EXE = 'tw_setup_o%s.exe' % MISSING


def item(puc, name, url, version='1.0'):
    return {'puc_type': int(puc), 'puc_name': name, 'version': version, 'runname': 'Main.exe', 'download_url': url}


def package_requests(f, name):
    """Requests for a package since this test started (the server may have served earlier runs)."""
    return len(f.requests('/flow-%s/%s' % (FLOW, name), since=f.logged_before))


def start_install(s, w, root, what):
    """Starts the window on root and installs its only product."""
    app = s.start(s.args.setup, '--path', root)
    w.wait_title('选择软件', what + ': nothing installed')
    w.click(FIRST_ROW_CHECK)
    w.click(AGREE)
    w.click(PRIMARY)
    return app


def leave(s, w, app, what):
    """Closes the window from the results page: the exit question, Yes, exit code 0."""
    w.driver('close')
    w.answer_box(YES)
    s.check_equal(harness.wait_exit(app, 120), 0, what + ': leaving ends with exit code 0')


def cancel_during_download(s, f, w):
    root = f.fresh_root('WindowCancel')
    f.forget(CANCEL)
    package = make_zip({'Main.exe': flows.stand_in(s.args), 'big.bin': random.Random(971).randbytes(64 * 1024)})
    # The server sends a quarter of the package and holds the rest: the worker
    # sees the cancel only when the next bytes arrive, so page 4 waits until
    # the test lets the download go on.
    url = f.serve('cancel.zip', package, hold_after=len(package) // 4, hold_until=f.gate('cancel'))
    f.catalog([item(CANCEL, '取消的软件', url)])
    app = start_install(s, w, root, 'cancel')
    s.check(flows.wait_for(lambda: package_requests(f, 'cancel.zip') == 1, 60), 'cancel: the download started')
    s.check(flows.wait_for(lambda: '正在下载' in (w.text(PROGRESS_LABEL) or '')),
            'cancel: page 1 shows the download')
    w.shot('page1-download')
    w.click(CLOSE)  # 取消安装
    w.wait_title('已取消安装', 'cancel')
    s.check_equal(w.text(NOTICE), '正在等待当前安装任务停止…', 'cancel: page 4 waits for the download to stop')
    w.shot('page4-cancelled')
    f.release('cancel')
    s.check_equal(harness.wait_exit(app, 120), 0,
                  'cancel: after the undo the window closes by itself, exit code 0')
    s.check(not os.path.exists(f.unix(root + '\\取消的软件')), 'cancel: no product folder')
    # The attempt's folder keeps its own records (ledger, recovery record, lock) and nothing else.
    left = {path.split('\\')[-1] for path in tree(f.unix(root + '\\temp_setup'))}
    s.check(left <= {'ledger.log', 'recovery.tsv', 'attempt.lock'},
            'cancel: nothing of the download is left under temp_setup (%s)' % sorted(left))
    s.check_equal(f.manifest(CANCEL), None, 'cancel: no install record')
    s.check_equal(package_requests(f, 'cancel.zip'), 1, 'cancel: the package was asked for once')


def red(r, g, b):
    return r > 150 and g < 90 and b < 90


def blue(r, g, b):
    return b > 180 and r < 110 and g < 160


def check_failed_row(s, w, row, picture):
    """The failed row as painted: a red ✕ by the name, a blue 重试 in the band a click retries."""
    where = w.in_picture(row)
    if not s.check(picture is not None and where is not None, 'retry: the page was saved'):
        return
    left, top, right = where
    s.check(picture.count((left + 12, top + 17, left + 34, top + 45), red) > 10, 'retry: the row shows a red ✕')
    s.check(picture.count((right - 124, top + 24, right - 8, top + 48), blue) > 10,
            'retry: 重试 is drawn in the band that a click retries')


def retry_from_row(s, f, w):
    root = f.fresh_root('WindowRetry')
    f.forget(RETRIED)
    folder = root + '\\重试的软件'
    f.catalog([item(RETRIED, '重试的软件', f.serve('retry.zip', status=404))])
    app = start_install(s, w, root, 'retry')
    s.check(flows.wait_for(lambda: w.shown(RETRY), 120), 'retry: the failed install offers 重试')
    s.check_equal(w.title(), '下载与安装', 'retry: the failure keeps page 1')
    s.check(w.text(NOTICE) not in ('', None), 'retry: the notice gives the reason (%r)' % w.text(NOTICE))
    rows = w.items() or []
    if not s.check_equal(len(rows), 1, 'retry: page 1 lists the chosen product'):
        return leave(s, w, app, 'retry')
    check_failed_row(s, w, rows[0], w.shot('page1-failed'))
    _, top, right, _ = rows[0]['rect']
    # Just left of the action column a click only selects the row.
    w.click_at(LIST, right - 136, top + 36)
    s.check(flows.wait_for(lambda: [r['selected'] for r in w.items() or []] == ['1']),
            'retry: the click reached the row')
    s.check(w.shown(RETRY) and package_requests(f, 'retry.zip') == 1,
            'retry: a click left of the action column starts nothing')
    package = {'Main.exe': flows.stand_in(s.args), 'data.txt': b'retried'}
    f.serve('retry.zip', make_zip(package))
    w.click_at(LIST, right - 60, top + 36)  # 重试
    w.wait_title('安装清单', 'retry: the retried product installed')
    s.check_equal(tree(f.unix(folder)), package, 'retry: the files are on disk')
    s.check_equal(package_requests(f, 'retry.zip'), 2, 'retry: exactly one more package request')
    leave(s, w, app, 'retry')
    s.check_equal(tree(f.unix(folder)), package, 'retry: the finished install stays after leaving')


def type_root(s, w, root, what):
    """Types root into the root box as a user would: a click at the end of the
    old text, the new text, then Tab to the next control."""
    old = w.text(ROOT_EDIT) or ''
    left, top, right, bottom = (int(v) for v in w.state(ROOT_EDIT).get('rect', '0,0,0,0').split(','))
    w.click_at(ROOT_EDIT, right - left - 3, (bottom - top) // 2)
    s.check(flows.wait_for(lambda: w.state(ROOT_EDIT).get('focus') == '1'), what + ': the click focuses the root box')
    end = '%d,%d' % (len(old), len(old))
    s.check_equal(w.state(ROOT_EDIT).get('sel'), end, what + ': the caret is where the click was, after the text')
    w.set_text(ROOT_EDIT, root)
    w.key('tab', focused=ROOT_EDIT)


def root_typed_then_moved(s, f, w):
    first, second, third = (f.fresh_root('WindowRoot' + n) for n in 'ABC')
    f.forget(MOVED)
    name = '搬家的软件'
    v1 = {'Main.exe': flows.stand_in(s.args), 'data.txt': b'v1'}
    f.catalog([item(MOVED, name, f.serve('move-1.zip', make_zip(v1)))])
    app = s.start(s.args.setup, '--path', first)
    w.wait_title('选择软件', 'root: nothing installed')
    type_root(s, w, second, 'root')
    w.wait_text(NOTICE, '已重新检查此目录中的软件安装记录。', 'root: the typed root is read')
    w.shot('page0-root-typed')
    w.click(FIRST_ROW_CHECK)
    w.click(AGREE)
    w.click(PRIMARY)
    w.wait_title('安装清单', 'root: installed')
    s.check_equal(tree(f.unix(second + '\\' + name)), v1, 'root: the files are under the typed root')
    s.check(not os.path.exists(f.unix(first)), 'root: nothing under the root given on the command line')

    # A newer version, read with the refresh link; the root typed again in update mode.
    with open(f.unix(second + '\\' + name + '\\user.cfg'), 'wb') as out:
        out.write(b'mine')
    v2 = {'Main.exe': flows.stand_in(s.args), 'data.txt': b'v2'}
    f.catalog([item(MOVED, name, f.serve('move-2.zip', make_zip(v2)), version='2.0')])
    w.click(BACK)
    w.wait_title('选择软件', 'move: back to the list')
    w.click(REFRESH)
    w.wait_title('欢迎使用Tarnwick软件', 'move: installed, the welcome page')
    w.click(UPDATE_CARD)
    w.wait_title('更新软件', 'move: the update card')
    type_root(s, w, third, 'move')
    w.wait_title('欢迎使用Tarnwick软件', 'move: the records read again under the typed root')
    w.click(UPDATE_CARD)
    w.wait_title('更新软件', 'move: the update card again')
    s.check_equal(w.text(ROOT_EDIT), third, 'move: the box keeps the typed root')
    w.click(FIRST_ROW_CHECK)
    w.click(PRIMARY)  # the agreement is still ticked from the install
    text = w.answer_box(YES)
    s.check(text is not None and second + '\\' + name in text, 'move: the confirmation names the old folder')
    w.wait_title('安装清单', 'move: updated')
    s.check_equal(tree(f.unix(third + '\\' + name)), v2, 'move: the new version is under the typed root')
    s.check_equal(tree(f.unix(second + '\\' + name)), {'user.cfg': b'mine'},
                  "move: the old program files are gone, the user's file stays")
    record = f.manifest(MOVED) or ''
    s.check(third + '\\' + name in record and second not in record, 'move: the record names the new folder only')
    s.check_equal([package_requests(f, 'move-1.zip'), package_requests(f, 'move-2.zip')], [1, 1],
                  'move: each version was downloaded once')
    leave(s, w, app, 'move')


def root_locked_while_loading(s, f, w):
    # The list shows while task 1 still fetches the icons; a root typed then
    # used to be dropped while the box kept showing it.
    first, second = (f.fresh_root('WindowLoading' + n) for n in 'AB')
    f.forget(LOADING)
    name = '慢图标的软件'
    files = {'Main.exe': flows.stand_in(s.args), 'data.txt': b'slow icon'}
    entry = item(LOADING, name, f.serve('loading.zip', make_zip(files)))
    # The icon's first bytes come at once, the rest when the test has looked.
    entry['icon'] = f.serve('slow-icon.png', b'\x89PNG' + bytes(92), hold_after=32, hold_until=f.gate('icon'))
    f.catalog([entry])
    app = s.start(s.args.setup, '--path', first)
    w.wait_title('选择软件', 'loading: the list')
    s.check_equal((w.state(ROOT_EDIT).get('enabled'), w.state(CHANGE_ROOT).get('enabled')), ('0', '0'),
                  'loading: the root box and 更改目录 take no input while the icons load')
    s.check_equal(w.text(ROOT_EDIT), first, 'loading: the box shows the root in use')
    f.release('icon')
    s.check(flows.wait_for(lambda: w.state(ROOT_EDIT).get('enabled') == '1', 60),
            'loading: the box takes input once the icons are in')
    s.check_equal(w.state(CHANGE_ROOT).get('enabled'), '1', 'loading: 更改目录 too')
    type_root(s, w, second, 'loading')
    w.wait_text(NOTICE, '已重新检查此目录中的软件安装记录。', 'loading: the typed root is read')
    w.click(FIRST_ROW_CHECK)
    w.click(AGREE)
    w.click(PRIMARY)
    w.wait_title('安装清单', 'loading: installed')
    s.check_equal(tree(f.unix(second + '\\' + name)), files, 'loading: the files are under the typed root')
    s.check(not os.path.exists(f.unix(first)), 'loading: nothing under the root the window started with')
    leave(s, w, app, 'loading')


def missing_product(s, f, w):
    root = f.fresh_root('WindowMissing')
    f.catalog([item('974', '目录里的软件', f.serve('listed.zip', make_zip({'Main.exe': b'MZ'})))])
    error = '官网软件目录中未找到指定产品（puc_type=%s），请刷新或联系客服。' % MISSING
    # Only asked for on the command line: the page says so and stays.
    app = s.start(s.args.setup, '--puctype', MISSING, '--path', root)
    w.wait_text(NOTICE, error, 'missing, from the command line')
    s.check_equal((w.title(), w.items()), ('安装Tarnwick软件', []), 'missing: the page lists nothing')
    w.click(CLOSE)
    s.check_equal(harness.wait_exit(app), 0, 'missing: 关闭 ends with exit code 0')
    # Locked by the file name: a box, then the program ends.
    exe = os.path.join(s.scratch('locked'), LOCKED_EXE)
    shutil.copy(s.args.setup, exe)
    locked = Window(s, LOCKED_EXE)
    app = s.start(exe, '--path', root)
    s.check_equal(locked.box(), ('未找到指定产品', error), 'locked and missing: the error box')
    locked.click(OK_BUTTON, BOX)
    s.check_equal(harness.wait_exit(app), 0, 'locked and missing: the program ends after the box, exit code 0')
    s.check_equal(tree(f.unix(root)), {}, 'missing: nothing written under the root')
    s.check_equal(package_requests(f, 'listed.zip'), 0, 'missing: nothing downloaded')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, FLOW)
    f.logged_before = len(f.requests())
    with harness.Display() as display:
        s = harness.Session(args, display)
        w = Window(s)
        try:
            cancel_during_download(s, f, w)
            retry_from_row(s, f, w)
            root_typed_then_moved(s, f, w)
            root_locked_while_loading(s, f, w)
            missing_product(s, f, w)
        finally:
            f.close()
        s.finish()


if __name__ == '__main__':
    main()
