"""The main window of tw_setup.exe as the whole-window tests see it: its pages,
controls, list rows and message boxes read and driven through the UI driver,
and screenshots saved in the build folder's screenshots/main."""
import os
import shutil
import struct
import subprocess

import flows
import harness
import url_handlers

EXE = 'tw_setup.exe'
CLASS = 'TwParcelwrightNative'
BOX = '#32770'
MENU = '#32768'
# Control ids of the window.
LIST, ROOT_EDIT, AGREE, PRIMARY, CLOSE, PROGRESS, NOTICE, BACK, RETRY = 100, 101, 104, 109, 110, 113, 114, 118, 121
UPDATE_CARD = 129
FIRST_ROW_CHECK = 2000


class Window:
    def __init__(self, s, exe=EXE):
        self.s, self.exe = s, exe
        self.screens = os.path.join(os.path.dirname(s.args.wine_root), 'screenshots', 'main')
        os.makedirs(self.screens, exist_ok=True)

    def driver(self, command, *arguments, cls=CLASS, wait_ms=20000):
        """(exit code, output) of one driver command on this window."""
        return self.s.driver(command, '--exe', self.exe, *(('--class', cls) if cls else ()), *arguments,
                             wait_ms=wait_ms)

    def dump(self, cls=CLASS):
        code, out = self.driver('dump', cls=cls, wait_ms=2000)
        found = harness.parse_dump(out) if code == 0 else []
        return found[0] if len(found) == 1 else None

    def title(self):
        window = self.dump()
        statics = [c for c in window['controls'] if c['class'] == 'Static'] if window else []
        return statics[0]['text'] if statics else None

    def control(self, control_id):
        window = self.dump()
        for c in window['controls'] if window else []:
            if c['id'] == str(control_id):
                return c
        return None

    def text(self, control_id):
        return (self.control(control_id) or {}).get('text')

    def shown(self, control_id):
        c = self.control(control_id)
        return c is not None and c['visible'] == '1' and c['enabled'] == '1'

    def wait_title(self, title, what, seconds=120):
        ok = flows.wait_for(lambda: self.title() == title, seconds)
        self.s.check(ok, '%s: the page is "%s" (is "%s")' % (what, title, ok or self.title()))
        return ok

    def wait_text(self, control_id, text, what, seconds=60):
        ok = flows.wait_for(lambda: self.text(control_id) == text, seconds)
        self.s.check(ok, '%s: control %d says "%s" (says "%s")' % (what, control_id, text, ok or self.text(control_id)))
        return ok

    def click(self, control_id, cls=CLASS):
        return self.driver('click-id', '--id', str(control_id), cls=cls)[0] == 0

    def click_at(self, control_id, x, y):
        """A real click at a client point of the control."""
        return self.driver('click-at', '--id', str(control_id), '--x', str(x), '--y', str(y))[0] == 0

    def right_click_at(self, control_id, x, y):
        return self.driver('right-click-at', '--id', str(control_id), '--x', str(x), '--y', str(y))[0] == 0

    def menu_open(self):
        """Whether a popup menu of the program is on screen, waiting a while for one."""
        return self.driver('dump', cls=MENU)[0] == 0

    def in_picture(self, row):
        """(left, top, right) of a list row in the window's screenshot; None unread."""
        window = self.dump()
        listbox = next((c for c in window['controls'] if c['id'] == str(LIST)), None) if window else None
        if listbox is None:
            return None
        wl, wt = (int(v) for v in window['rect'].split(',')[:2])
        ll, lt = (int(v) for v in listbox['rect'].split(',')[:2])
        return row['rect'][0] + ll - wl, row['rect'][1] + lt - wt, row['rect'][2] + ll - wl

    def set_text(self, control_id, text):
        return self.driver('set-text', '--id', str(control_id), '--text', text)[0] == 0

    def key(self, name, focused=None, cls=CLASS):
        """Presses a key; with focused, once that control has the keyboard focus."""
        return self.driver('key', '--key', name, *(('--id', str(focused)) if focused else ()), cls=cls)[0] == 0

    def items(self, control_id=LIST):
        """The list box's items: dicts with index, text, rect (a tuple) and selected; None unread."""
        code, out = self.driver('items', '--id', str(control_id), wait_ms=2000)
        if code != 0:
            return None
        found = harness.parse_lines(out, 'item')
        for item in found:
            item['rect'] = tuple(int(v) for v in item['rect'].split(','))
        return found

    def state(self, control_id):
        """The control's fields (visible, enabled, rect, style, focus, an edit's sel); {} without it."""
        code, out = self.driver('state', '--id', str(control_id), wait_ms=2000)
        return harness.parse_fields(out) if code == 0 else {}

    def progress(self):
        code, out = self.driver('progress', '--id', str(PROGRESS), wait_ms=2000)
        pos = harness.parse_fields(out).get('pos') if code == 0 else None
        return int(pos) if pos is not None else None

    def box(self):
        """The message box on screen: (caption, text), waiting for it."""
        code, out = self.driver('dump', cls=BOX)
        boxes = harness.parse_dump(out) if code == 0 else []
        if not boxes:
            return None, None
        return boxes[0]['title'], next((c['text'] for c in boxes[0]['controls'] if c['id'] == '65535'), None)

    def no_box(self):
        """Whether no message box of the program is on screen now."""
        return self.driver('dump', cls=BOX, wait_ms=200)[0] != 0

    def answer_box(self, button_id):
        """Answers the message box on screen; returns its text."""
        text = self.box()[1]
        self.click(button_id, BOX)
        return text

    def shot(self, name):
        """Saves the window as it is on screen; returns the picture, None when there was no window."""
        bmp = os.path.join(self.screens, name + '.bmp')
        self.driver('screenshot', '--out', 'Z:' + bmp.replace('/', '\\'))
        picture = Picture(flows.read(bmp)) if os.path.exists(bmp) else None
        if shutil.which('convert') and os.path.exists(bmp):
            subprocess.run(['convert', bmp, bmp[:-3] + 'png'], check=False)
            os.remove(bmp)
        return picture


class Browser:
    """A recording stand-in registered for http and https."""

    def __init__(self, s, folder):
        self.s = s
        self.path = os.path.join(folder, 'browser.exe')
        shutil.copy(os.path.join(os.path.dirname(s.args.engine_driver), 'stand_in.exe'), self.path)
        self.saved = {scheme: url_handlers.saved(s, s.args.wine_run, s.args.wine_root, scheme)
                      for scheme in ('http', 'https')}
        for scheme in self.saved:
            url_handlers.register(s, s.args.wine_run, s.args.wine_root, scheme, 'Z:' + self.path.replace('/', '\\'))

    def addresses(self):
        return [line.rsplit('" "', 1)[-1].rstrip('"') for line in url_handlers.recorded(self.path)]

    def restore(self):
        for scheme, command in self.saved.items():
            url_handlers.restore(self.s, self.s.args.wine_run, self.s.args.wine_root, scheme, command)


class Picture:
    """A 24-bit BMP the driver saved, read for pixel checks."""

    def __init__(self, data):
        self.data = data
        self.offset, = struct.unpack_from('<I', data, 10)
        self.width, height = struct.unpack_from('<ii', data, 18)
        self.height, self.bottom_up = abs(height), height > 0
        self.stride = (self.width * 3 + 3) & ~3

    def rgb(self, x, y):
        row = self.height - 1 - y if self.bottom_up else y
        i = self.offset + row * self.stride + x * 3
        b, g, r = self.data[i:i + 3]
        return r, g, b

    def count(self, rect, test):
        """How many pixels of rect (left, top, right, bottom) pass test(r, g, b)."""
        left, top, right, bottom = rect
        return sum(1 for y in range(max(top, 0), min(bottom, self.height))
                   for x in range(max(left, 0), min(right, self.width)) if test(*self.rgb(x, y)))
