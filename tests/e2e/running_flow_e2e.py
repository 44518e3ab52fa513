#!/usr/bin/env python3
"""An update while the installed program runs, through engine_driver.exe on a
private display: the real "软件正在运行" box is answered No (nothing is
replaced, the program keeps running) and then Yes (the program is ended and
the update goes through)."""
import os

import flows
import harness
from flows import make_zip, tree

NAME = 'Running'


def answer_box(s, f, button_id, what):
    """Waits for the driver's box, checks it and presses the button with button_id."""
    rc, out = s.driver('dump', '--exe', 'engine_driver.exe', '--class', '#32770')
    boxes = harness.parse_dump(out)
    if not f.check(rc == 0 and len(boxes) == 1, what + ': the box appears'):
        return
    box = boxes[0]
    f.check_equal(box['title'], '软件正在运行', what + ': caption')
    text = next((c.get('text', '') for c in box['controls'] if c.get('id') == '65535'), '')
    f.check(text.startswith('文件被占用：\r\n') and 'Runner.exe（PID ' in text, what + ': names the running program')
    label = next((c.get('text') for c in box['controls'] if c.get('id') == str(button_id)), None)
    rc, _ = s.driver('click', '--exe', 'engine_driver.exe', '--text', label or '?')
    f.check_equal(rc, 0, what + ': the button was pressed')


def main():
    args = harness.parse_args()
    f = flows.Flow(args, 'running')
    try:
        with harness.Display() as display:
            s = harness.Session(args, display)
            env = {'DISPLAY': display.name}
            root = f.fresh_root('FlowRunning')
            folder = root + '\\' + NAME
            f.forget('908')
            v1 = {'Runner.exe': flows.stand_in(args), 'data.txt': b'one'}
            v2 = {'Runner.exe': flows.stand_in(args), 'data.txt': b'two'}
            f.catalog([{'puc_type': 908, 'puc_name': NAME, 'version': '1.0', 'runname': 'Runner.exe',
                        'download_url': f.serve('run-1.zip', make_zip(v1))}])
            rc, _, err = f.run('--root', root, '--mode', 'install', '--product', '908', env=env)
            f.check_equal(rc, 0, 'the first version installs')

            # The installed program runs and holds a file of its own.
            held = folder + '\\held.txt'
            with open(f.unix(folder + '\\Runner.exe.script'), 'w') as script:
                script.write('hold %s\n' % held)
            program = s.start(folder + '\\Runner.exe')
            f.check(flows.wait_for(lambda: os.path.exists(f.unix(held))), 'the installed program is running')

            f.catalog([{'puc_type': 908, 'puc_name': NAME, 'version': '2.0', 'runname': 'Runner.exe',
                        'download_url': f.serve('run-2.zip', make_zip(v2))}])
            driver = f.start('--root', root, '--mode', 'update', '--product', '908', env=env)
            answer_box(s, f, 7, 'No')
            rc, res, err = f.wait(driver)
            f.check(rc == 1 and res.get('908', {}).get('last_error') == '无法覆盖文件，程序正在运行中，请关闭后再试',
                    'No: the update fails with the running-program message')
            f.check_equal(tree(f.unix(folder)).get('data.txt'), b'one', 'No: nothing was replaced')
            f.check(program.poll() is None, 'No: the program keeps running')

            driver = f.start('--root', root, '--mode', 'update', '--product', '908', env=env)
            answer_box(s, f, 6, 'Yes')
            rc, res, err = f.wait(driver)
            if not f.check(rc == 0 and res.get('908', {}).get('ok'), 'Yes: the update succeeds'):
                print(err)
            f.check(harness.wait_exit(program, 30) is not None, 'Yes: the program was ended')
            f.check_equal(tree(f.unix(folder)).get('data.txt'), b'two', 'Yes: the new version is in place')
            if program.poll() is None:
                program.kill()
    finally:
        f.close()
    f.finish()


if __name__ == '__main__':
    main()
