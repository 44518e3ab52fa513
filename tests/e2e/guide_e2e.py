#!/usr/bin/env python3
"""The troubleshooting guide through guide_host.exe on a private display: every
page's title, subtitle and body word for word (the restore and trust pages of
all six products, all three detection wordings); one window however often it
is opened, the close line, opening it again; the SmartScreen and Smart App
Control paths; the third-party path (Wine's own detection is incomplete; the
host holds each detection until the test answers it, so the waiting page can be
read and one, two or a late answer tried); the Defender check with a scripted PowerShell answering
enabled, disabled and nothing; Windows Security opened with and without a
handler for its addresses; the links and the folder copy. Links open a
recording stand-in instead of a browser. A screenshot of every page is saved in
the build folder's screenshots/guide."""
import os
import shutil
import subprocess

import flows
import harness
import url_handlers

EXE = 'guide_host.exe'
CLASS = 'DaDezororaSecurityGuide'
FOLDER = 'C:\\测试目录'
# Title, subtitle and body of each page; None where the page composes the text.
STEPS = {
    0: ('选择您遇到的问题',
        '选择一项现象，按步骤检查；处理后可返回安装列表重试。',
        ''),
    1: ('正在识别当前安全防护',
        '请稍候，正在读取 Windows 防护状态，不会修改安全设置。',
        '若无法识别，我们会让您手动选择 Windows 安全中心或第三方安全软件。'),
    2: ('请选择正在使用的安全软件',
        '未能确定防护状态，请根据本机实际情况选择；不确定时可联系客服。',
        ''),
    3: ('手动打开 Windows 安全中心',
        '无法自动打开时，请从开始菜单进入系统“设置”。',
        None),
    4: ('临时关闭实时保护，排查文件拦截',
        '将为您自动<a id="open">打开 Windows 安全中心</a>，未打开请<a id="manual">查看手动步骤</a>。',
        '确认误报后，可临时关闭“实时保护”；排查完成后请重新开启。'),
    5: ('将专用安装目录加入排除项',
        '只添加您选择的软件目录，不要排除整个磁盘或系统目录。',
        '管理设置 → 排除项 → 添加或删除排除项 → 添加排除项 → 文件夹。选择下方专用安装目录；也可以点击“复制目录”后粘贴。'),
    6: ('重新开启实时保护',
        '添加目录后，请恢复您曾临时关闭的防护开关。',
        '回到“病毒和威胁防护”→“管理设置”，将“实时保护”重新开启。随后重新下载或恢复确认可信的文件，再检查软件能否正常打开。'),
    7: ('点击“更多信息”，展开拦截详情',
        '重新打开软件，等待“Windows 已保护你的电脑”提示出现。',
        '在系统提示中点击“更多信息”，查看应用和发布者信息。只有确认文件来自官网且可信时，再继续下一步；不同系统版本可能显示“详细信息”。'),
    8: ('点击“仍要运行”，尝试启动软件',
        '该按钮在展开“更多信息”后显示，由您自行决定是否运行。',
        '确认软件来源后，点击提示下方的“仍要运行”。如果没有此按钮，可能存在组织策略或其他限制；请返回问题列表或联系客服，不要更改系统安全策略来强行绕过。'),
    9: ('检查智能应用控制设置',
        '将自动请求打开“应用和浏览器控制”，请在系统窗口点击“智能应用控制设置”。',
        '未自动打开时，请从系统设置进入：\r\n1. 开始 → 设置 → 隐私和安全性 → Windows 安全中心。\r\n2. 点击“打开 Windows 安全中心”→“应用和浏览器控制”。\r\n3. 点击“智能应用控制设置”，查看拦截提示并按本机说明决定如何处理。\r\nWindows 10没有此功能；部分 Windows 11设备也不显示。关闭后能否重新开启以系统提示为准，安装器不会替您更改开关。'),
    10: ('恢复被拦截的软件文件',
        None,
        None),
    11: ('为软件添加信任',
        None,
        None),
    12: ('确认软件是否能正常使用',
        '请重新尝试打开软件，确认文件不再被删除或莫名丢失。',
        '是否仍存在无权限、无法打开、文件丢失或提示文件不存在的情况？仍有问题可返回重新排查；已解决后关闭此窗口，返回安装列表点击“重试”。'),
    13: ('您安装了第三方杀毒软件',
        None,
        ''),
    14: ('正在识别您的杀毒软件',
        '正在读取 Windows 登记的安全产品，仅检查名称，不修改防护设置。',
        '检测完成后会优先进入对应软件的引导；也可以返回后手动选择。'),
}
# Name, note, how to restore, how to trust: the six antivirus products in option order.
PRODUCTS = [
    ('360 安全卫士', '不同版本入口可能不同；恢复区、信任区位置请以本机界面为准。',
     '1. 打开360安全卫士，进入“木马查杀”，查找“恢复区”。\r\n2. 按拦截时间和文件路径，找到本次安装的软件文件。\r\n3. 确认为误报后恢复该文件；没有记录时，完成下一步再返回安装列表重新下载。',
     '1. 在“木马查杀”中查找“信任区”，进入已信任项目。\r\n2. 如有“添加目录”，选择下方安装目录；只支持添加文件时，选择被误报的程序文件。\r\n3. 确认信任列表中路径正确，返回安装列表重试；若同时装了360杀毒，还需分别处理。'),
    ('360 杀毒', '官方操作指南为旧版；新版菜单尚未实机核验，找不到时请查看厂商帮助。',
     '1. 打开“360杀毒”，查找“隔离区”或已处理文件记录。\r\n2. 核对被隔离文件的名称、原始路径和拦截时间。\r\n3. 确认误报后选择恢复；若已永久删除，先完成下一步，再返回安装列表重试下载。',
     '1. 打开360杀毒的设置，查找“文件白名单”或文件及目录白名单。\r\n2. 选择添加目录，指定下方安装目录；若只提供文件项，添加实际被误报的文件。\r\n3. 保存后检查路径；这是360杀毒的设置，不等同于360安全卫士的信任区。'),
    ('金山毒霸', '官方教程为旧版；按钮和目录支持范围以本机版本为准，不要求先进行全盘扫描。',
     '1. 打开金山毒霸，在病毒查杀或处理记录中查找隔离文件。\r\n2. 对照原始路径和时间找到本次安装文件，查看拦截原因。\r\n3. 仅恢复确认误报的文件；如果文件已永久删除，完成信任设置后重新下载安装。',
     '1. 参考官方说明：右上角设置中心 → 安全保护 → 信任设置。\r\n2. 进入信任区，通过添加文件入口选择被误报的程序；本机若提供文件夹选项，可选择下方专用目录。\r\n3. 确认列表已有对应路径，再返回安装列表重试。'),
    ('腾讯电脑管家', '腾讯官网未提供可核验的最新菜单教程；此处为入口查找指引，不保证所有版本名称一致。',
     '1. 打开腾讯电脑管家，查看病毒查杀中的处理记录或隔离项目。\r\n2. 查找本次安装文件；若有“恢复”或“找回文件”，先核对文件路径。\r\n3. 确认为误报后恢复；没有对应记录时，不要随意恢复其他文件，可完成下一步后重新下载。',
     '1. 在电脑管家的杀毒页面或设置中查找“信任区”。\r\n2. 若提供“添加文件夹”，选择下方安装目录；否则使用“添加文件”选择被误报的程序。\r\n3. 核对列表路径并保存；若界面没有这些入口，请通过厂商帮助或客服联系确认。'),
    ('Avast Free / Premium', '适用于 Avast Free Antivirus / Premium Security；Avast One 的入口不同，请查看其官方说明。',
     '1. 打开 Avast Antivirus → Protection（保护）→ Quarantine（隔离区）。\r\n2. 勾选对应文件，点击“…”查看操作。\r\n3. 确认误报后选择 Restore（恢复）；Restore and add exception 可同时恢复并添加例外。',
     '1. 打开 Menu（菜单）→ Settings（设置）→ General（常规）→ Exceptions（例外）。\r\n2. 点击 Add exception（添加例外），按页面选择文件或文件夹，指定下方安装目录。\r\n3. 确认例外列表的路径正确，再返回安装列表重试下载或启动。'),
    ('其他杀毒软件', '各厂商名称不同；受单位策略管理的设备请联系管理员，不要关闭整个防护。',
     '1. 打开正在使用的杀毒软件，查找隔离区、保护历史或处理记录。\r\n2. 按文件名、原始路径和拦截时间定位本次安装文件。\r\n3. 查看拦截原因，确认误报后恢复；无法恢复时，完成下一步后重新下载。',
     '1. 在杀毒软件设置中查找白名单、信任区、例外或排除项。\r\n2. 添加被误报的文件；需要目录时，只选择下方专用安装目录，不要添加整个磁盘。\r\n3. 保存并检查路径，返回安装列表重试；仍有拦截时记录提示内容并联系客服。'),
]
MANUAL_SMART_APP_CONTROL = '开始 → 设置 → 隐私和安全性 → Windows 安全中心 → 打开 Windows 安全中心 → 应用和浏览器控制 → 智能应用控制设置。该功能适用于部分 Windows 11 设备，Windows 10 不提供；没有此项时请返回问题列表或联系客服。'
MANUAL_DEFENDER = '开始 → 设置 → 隐私和安全性（Windows 10为“更新和安全”）→ Windows 安全中心 → 打开 Windows 安全中心 → 病毒和威胁防护 → 管理设置。也可从开始菜单搜索 Windows 安全中心。'
DETECTION_INCOMPLETE = '自动检测未完成，请选择实际使用的软件；已读到的产品会标注。'
DETECTION_FOUND = '已检测到下方标记的安全产品，请选择本次拦截文件的软件。'
DETECTION_NONE = '未识别到已登记的第三方产品，请手动选择；这不代表电脑没有杀毒软件。'
TITLES = {step: texts[0] for step, texts in STEPS.items()}
OPTION, BACK, LIST, NEXT = 501, 510, 511, 512
OPEN_SECURITY, MANUAL, CONTACT, COPY, TUTORIAL, VENDOR_HELP, SUBTITLE_LINK = 513, 514, 515, 516, 517, 520, 521


def windows_path(unix_path):
    return 'Z:' + unix_path.replace('/', '\\')


class Guide:
    def __init__(self, s):
        self.s = s
        self.host = os.path.join(os.path.dirname(s.args.setup), EXE)
        self.screens = os.path.join(os.path.dirname(s.args.wine_root), 'screenshots', 'guide')
        os.makedirs(self.screens, exist_ok=True)
        self.log_mark = self.log_size()

    # -- the window ---------------------------------------------------------
    def windows(self):
        code, out = self.s.driver('dump', '--exe', EXE, '--class', CLASS, wait_ms=2000)
        return harness.parse_dump(out) if code == 0 else []

    def page(self):
        """(title, subtitle, body, {id: control}) of the one guide window, or None. Where the
        subtitle is a link, its markup is the subtitle."""
        found = self.windows()
        if len(found) != 1:
            return None
        controls = found[0]['controls']
        statics = [c for c in controls if c['class'] == 'Static']
        by_id = {int(c['id']): c for c in controls if c['id'] != '0'}
        edits = [c for c in controls if c['class'] == 'Edit']
        by_id['folder'] = edits[0]
        subtitle = statics[1]
        if statics[1]['visible'] != '1' and by_id[SUBTITLE_LINK]['visible'] == '1':
            subtitle = by_id[SUBTITLE_LINK]
        return statics[0]['text'], subtitle['text'], statics[2]['text'], by_id

    def start(self, *arguments):
        """The host, under the whole test's time limit rather than one program's: the walk
        drives one guide for minutes when the machine is busy."""
        return subprocess.Popen([self.s.args.wine_run, self.s.args.wine_root, self.host, *arguments],
                                env=dict(self.s.env, TW_WINE_TIMEOUT='280'),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_step(self, step, what, subtitle=None, body=None):
        """Waits for the page of step, then checks its title, subtitle and body word for word.
        Subtitle and body default to the page's own; pages that compose them need them given."""
        title, own_subtitle, own_body = STEPS[step]
        expected = (title, own_subtitle if subtitle is None else subtitle, own_body if body is None else body)
        assert None not in expected, 'step %d composes its texts' % step
        ok = flows.wait_for(lambda: (self.page() or ('',))[0] == title, 30)
        self.s.check(ok, '%s: step %d shows "%s"' % (what, step, title))
        # The page sets all three texts at once: once the title is there, the rest is too.
        if ok and not flows.wait_for(lambda: tuple((self.page() or ('', '', ''))[:3]) == expected, 5):
            shown = []
            flows.wait_for(lambda: shown.append(self.page()) or shown[-1] is not None, 10)
            shown = (shown[-1] or ('', '', ''))[:3]
            for name, want, got in zip(('title', 'subtitle', 'body'), expected, shown):
                self.s.check_equal(got, want, '%s: the %s of step %d' % (what, name, step))
        return self.page()

    def visible(self, page, *ids):
        return [i for i in ids if page[3][i]['visible'] == '1']

    def click(self, control):
        self.s.driver('click-id', '--exe', EXE, '--id', str(control))

    def link(self, control, link=None):
        self.s.driver('click-link', '--exe', EXE, '--id', str(control), *(['--link', link] if link else ['--index', '0']))

    def shot(self, step):
        bmp = os.path.join(self.screens, 'step%02d.bmp' % step)
        self.s.driver('screenshot', '--exe', EXE, '--class', CLASS, '--out', windows_path(bmp))
        if shutil.which('convert') and os.path.exists(bmp):
            subprocess.run(['convert', bmp, bmp[:-3] + 'png'], check=False)
            os.remove(bmp)

    # -- the log ------------------------------------------------------------
    def log_size(self):
        return os.path.getsize(self.s.log_path()) if os.path.exists(self.s.log_path()) else 0

    def new_log(self):
        with open(self.s.log_path(), 'rb') as f:
            f.seek(self.log_mark)
            return [line.split('] ', 1)[-1] for line in f.read().decode('utf-8', 'replace').splitlines()]

    def wait_log(self, line, what, count=1):
        ok = flows.wait_for(lambda: self.new_log().count(line) >= count, 30)
        self.s.check(ok, '%s: the log says "%s"' % (what, line))


def open_close_reopen(g, s):
    first = s.start(g.host, FOLDER, '--again')
    page = g.wait_step(0, 'open')
    g.shot(0)
    second = s.start(g.host)
    s.check_equal(second.wait(timeout=60), 0, 'a second open only brings the first forward and ends')
    s.check_equal(len(g.windows()), 1, 'a second open: still one guide window')
    s.check_equal(g.page()[3]['folder']['text'], FOLDER, 'the folder box holds the folder it was opened with')
    s.check_equal(g.visible(page, OPTION, OPTION + 3, OPTION + 4, BACK, LIST, NEXT), [OPTION, OPTION + 3, NEXT],
                  'step 0: four problems and the close button')
    s.driver('close', '--exe', EXE, '--class', CLASS)
    g.wait_log('[Parcelwright] 用户关闭排查窗口，当前步骤：0', 'the close box')
    g.wait_step(0, 'opened again after closing')
    g.click(NEXT)  # "关闭" on the first page goes the same way as the close box
    g.wait_log('[Parcelwright] 用户关闭排查窗口，当前步骤：0', 'the close button', count=2)
    s.check_equal(first.wait(timeout=60), 0, 'the host ends when its last guide is gone')


def smartscreen_and_smart_app_control(g, s, handler):
    g.click(OPTION + 1)
    g.wait_step(7, 'Windows 已保护你的电脑')
    g.shot(7)
    g.click(NEXT)
    g.wait_step(8, 'next')
    g.shot(8)
    g.click(NEXT)
    page = g.wait_step(12, 'next')
    g.shot(12)
    s.check_equal(g.visible(page, TUTORIAL, TUTORIAL + 1, TUTORIAL + 2, VENDOR_HELP, OPEN_SECURITY),
                  [TUTORIAL, TUTORIAL + 1, TUTORIAL + 2], 'step 12: the three tutorials only')
    s.check_equal((page[3][NEXT]['text'], page[3][LIST]['text']), ('已解决', '仍有问题'), 'step 12 captions')
    g.link(TUTORIAL + 1)
    flows.wait_for(lambda: len(handler.recorded()) >= 1)  # in order: each link starts its own stand-in
    g.link(CONTACT)
    s.check(flows.wait_for(lambda: len(handler.recorded()) >= 2), 'the links reached the browser stand-in')
    addresses = handler.addresses()
    s.check(addresses[-2].endswith('/blog/4980.html') and '/?route=user_center/contact&puctype=10' in addresses[-1],
            'the tutorial and contact addresses: %r' % addresses[-2:])
    g.click(BACK)
    g.wait_step(8, 'back')
    g.click(LIST)
    g.wait_step(0, 'back to the list')

    g.click(OPTION + 2)
    page = g.wait_step(9, 'Smart App Control')
    g.wait_log('[Parcelwright] 请求打开应用和浏览器控制：已提交，错误0', 'entering step 9')
    s.check(flows.wait_for(lambda: 'windowsdefender://appbrowser' in handler.addresses()),
            'step 9 opened the app and browser control page through explorer.exe')
    g.shot(9)
    s.check_equal(page[3][OPEN_SECURITY]['text'], '<a>重新打开安全中心</a>', 'step 9: the reopen caption')
    g.link(MANUAL)
    g.wait_step(3, 'manual steps from step 9: the Smart App Control path', body=MANUAL_SMART_APP_CONTROL)
    g.click(NEXT)
    g.wait_step(9, '"我已打开，继续" returns to 9')
    s.check(flows.wait_for(lambda: handler.addresses().count('windowsdefender://appbrowser') >= 2),
            'returning to step 9 opens the page again')
    g.click(LIST)
    g.wait_step(0, 'back to the list')


def restore_and_trust(g, product, what):
    """From step 13: the product's two pages, then back to 13."""
    name, note, restore, trust = PRODUCTS[product]
    g.click(OPTION + product)
    g.wait_step(10, what, subtitle='%s · 第1步 / 恢复文件\r\n%s' % (name, note), body=restore)
    g.click(NEXT)
    g.wait_step(11, what + ': trust', subtitle='%s · 第2步 / 添加信任\r\n%s' % (name, note), body=trust)
    g.click(BACK)
    g.wait_step(10, what + ': back', subtitle='%s · 第1步 / 恢复文件\r\n%s' % (name, note), body=restore)
    g.click(BACK)


def third_party(g, s, handler, detection):
    g.click(OPTION + 3)
    page = g.wait_step(14, 'third-party software: detecting')
    s.check_equal(g.visible(page, *range(OPTION, OPTION + 6), NEXT), [OPTION + 5], 'step 14: only the manual choice')
    s.check_equal(page[3][OPTION + 5]['text'], '手动选择杀毒软件', 'step 14: the manual choice')
    g.shot(14)
    detection.answer('')
    page = g.wait_step(13, 'third-party software', subtitle=DETECTION_INCOMPLETE)
    g.wait_log('[Parcelwright] 排查步骤进入：14', 'detection')
    s.check(any(line.startswith('[Parcelwright] 安全产品检测未完成') for line in g.new_log()),
            'Security Center is missing under Wine: detection incomplete')
    g.shot(13)
    name, note, restore, trust = PRODUCTS[4]
    g.click(OPTION + 4)
    g.wait_step(10, 'Avast chosen', subtitle='%s · 第1步 / 恢复文件\r\n%s' % (name, note), body=restore)
    g.shot(10)
    g.link(VENDOR_HELP)
    s.check(flows.wait_for(lambda: handler.addresses()[-1:] == [s.args.origin + '/help-avast/article/antivirus-scan-exclusions/']),
            'the vendor help link of the chosen product')
    g.click(NEXT)
    page = g.wait_step(11, 'trust', subtitle='%s · 第2步 / 添加信任\r\n%s' % (name, note), body=trust)
    s.check_equal(g.visible(page, 'folder', VENDOR_HELP, OPEN_SECURITY), ['folder', VENDOR_HELP], 'step 11: folder and help')
    g.shot(11)
    g.click(BACK)
    g.wait_step(10, 'back', subtitle='%s · 第1步 / 恢复文件\r\n%s' % (name, note), body=restore)
    g.click(BACK)
    page = g.wait_step(13, 'back', subtitle=DETECTION_INCOMPLETE)
    s.check_equal(page[3][OPTION + 4]['text'], 'Avast Free / Premium', 'a product chosen by hand is not marked detected')
    for product in (0, 1, 2, 3, 5):
        restore_and_trust(g, product, PRODUCTS[product][0])
        g.wait_step(13, 'back', subtitle=DETECTION_INCOMPLETE)
    g.click(BACK)
    g.wait_step(0, 'back from 13')


def detection_answers(g, s, detection):
    # Two products: the choice stays with the user, both marked.
    g.click(OPTION + 3)
    g.wait_step(14, 'detecting')
    detection.answer('3')
    page = g.wait_step(13, 'two products detected', subtitle=DETECTION_FOUND)
    s.check_equal([page[3][OPTION + i]['text'] for i in range(6)],
                  ['360 安全卫士（已检测）', '360 杀毒（已检测）'] + [PRODUCTS[i][0] for i in range(2, 6)],
                  'step 13: the detected products are marked')
    g.click(BACK)
    g.wait_step(0, 'back from 13')

    # One product: straight to its restore page; Back shows it marked on 13.
    g.click(OPTION + 3)
    g.wait_step(14, 'detecting')
    detection.answer('4')
    name, note, restore, _ = PRODUCTS[2]
    g.wait_step(10, 'one product detected', subtitle='%s · 第1步 / 恢复文件\r\n%s' % (name, note), body=restore)
    g.click(BACK)
    page = g.wait_step(13, 'back from the detected product', subtitle=DETECTION_FOUND)
    s.check_equal(page[3][OPTION + 2]['text'], '金山毒霸（已检测）', 'step 13: the one detected product is marked')
    g.click(BACK)
    g.wait_step(0, 'back from 13')

    # The user stops waiting: nothing is marked, and the late answer moves nothing.
    g.click(OPTION + 3)
    g.wait_step(14, 'detecting')
    g.click(OPTION + 5)
    page = g.wait_step(13, 'chosen by hand while detecting', subtitle=DETECTION_NONE)
    s.check_equal([page[3][OPTION + i]['text'] for i in range(6)], [p[0] for p in PRODUCTS], 'step 13: nothing marked')
    detection.answer('10')
    s.check(detection.taken(), 'the late detection ended')
    g.click(BACK)
    g.wait_step(0, 'back from 13, the late answer ignored')


def defender_check(g, s, handler, powershell, scratch, detection):
    go = os.path.join(scratch, 'go')
    powershell.script('wait %s\nprint enabled\n' % windows_path(go))
    g.click(OPTION)
    page = g.wait_step(1, 'Defender check')
    s.check_equal(g.visible(page, NEXT, LIST, BACK), [LIST, BACK], 'step 1: waiting, no next')
    g.shot(1)
    open(go, 'w').close()
    page = g.wait_step(4, 'Defender on')
    g.wait_log('[Parcelwright] 请求打开病毒和威胁防护设置：已提交，错误0', 'entering step 4')
    s.check(flows.wait_for(lambda: 'windowsdefender://threatsettings' in handler.addresses()),
            'step 4 opened the threat settings')
    g.shot(4)
    g.link(SUBTITLE_LINK, 'open')
    s.check(flows.wait_for(lambda: handler.addresses().count('windowsdefender://threatsettings') >= 2),
            'the subtitle\'s "open" link opens the threat settings again')
    g.link(SUBTITLE_LINK, 'manual')
    g.wait_step(3, 'manual steps from the subtitle: the Defender path', body=MANUAL_DEFENDER)
    g.shot(3)
    g.click(NEXT)
    g.wait_step(4, 'back to 4')
    g.click(NEXT)
    page = g.wait_step(5, 'exclusion')
    s.check_equal(g.visible(page, 'folder', OPEN_SECURITY, MANUAL), ['folder', OPEN_SECURITY, MANUAL], 'step 5 controls')
    g.shot(5)
    opened = handler.addresses().count('windowsdefender://threatsettings')
    g.link(OPEN_SECURITY)
    s.check(flows.wait_for(lambda: handler.addresses().count('windowsdefender://threatsettings') > opened),
            'step 5: "打开 Windows 安全中心" opens the threat settings')
    url_handlers.unregister(s, s.args.wine_run, s.args.wine_root, 'windowsdefender')
    g.link(OPEN_SECURITY)
    g.wait_step(3, 'the link without a handler: step 3 says it could not open Windows Security',
                subtitle='无法打开 Windows 安全中心，请从开始菜单搜索“Windows 安全中心”，或按下方路径手动进入。',
                body=MANUAL_DEFENDER)
    url_handlers.register(s, s.args.wine_run, s.args.wine_root, 'windowsdefender', windows_path(handler.path))
    g.click(BACK)
    g.wait_step(5, 'back')
    s.driver('clipboard-put', '--exe', EXE, '--text', '另一个程序的旧文本')
    g.link(COPY)
    s.check(flows.wait_for(lambda: g.s.driver('text', '--exe', EXE, '--id', str(COPY))[1].strip() == 'text="<a>目录已复制</a>"'),
            'the copy link says it copied')
    s.check_equal(s.driver('clipboard', '--exe', EXE)[1].strip(), 'text="C:\\\\测试目录" older=0',
                  'the clipboard holds only the folder')
    g.click(NEXT)
    g.wait_step(6, 'protection back on')
    s.check_equal(s.driver('text', '--exe', EXE, '--id', str(COPY))[1].strip(), 'text="<a>复制目录</a>"',
                  'a new page resets the copy link')
    g.shot(6)

    # Disabled: the products are read instead; Back never returns to the status check.
    g.click(LIST)
    powershell.script('print disabled\n')
    g.click(OPTION)
    detection.answer('')
    g.wait_step(13, 'Defender off', subtitle=DETECTION_INCOMPLETE)
    g.click(BACK)
    g.wait_step(0, 'back from 13 after a Defender check')

    # No answer: the user chooses.
    powershell.script('exit 0\n')
    g.click(OPTION)
    page = g.wait_step(2, 'Defender unknown')
    s.check_equal(g.visible(page, OPTION, OPTION + 1, OPTION + 2, NEXT), [OPTION, OPTION + 1], 'step 2: two choices')
    g.shot(2)

    # Without a handler for Windows Security's addresses: the manual path.
    url_handlers.unregister(s, s.args.wine_run, s.args.wine_root, 'windowsdefender')
    before = len(handler.recorded())
    g.click(OPTION)
    g.wait_step(3, 'threat settings cannot open: step 3 says why',
                subtitle='无法自动打开 Windows 安全中心，请从开始菜单搜索“Windows 安全中心”，或按下方路径手动进入。',
                body=MANUAL_DEFENDER)
    s.check(any(line.startswith('[Parcelwright] 请求打开病毒和威胁防护设置：启动失败，错误') for line in g.new_log()),
            'the failed request is logged')
    g.click(LIST)
    g.wait_step(0, 'back to the list')
    g.click(OPTION + 2)
    g.wait_step(9, 'Smart App Control without a handler')
    g.wait_log('[Parcelwright] 请求打开应用和浏览器控制：已提交，错误0', 'explorer.exe still starts', count=3)
    s.check_equal(len(handler.recorded()), before, 'nothing reached a handler')
    s.driver('close', '--exe', 'explorer.exe', '--class', 'ExplorerWClass', wait_ms=10000)  # Wine's file browser


class Detection:
    """The guide host's security product detection: each one waits for the answer file and
    takes it away."""

    def __init__(self, folder):
        self.path = os.path.join(folder, 'detection')

    def answer(self, mask):
        """mask: hexadecimal digits, or '' for what Wine's own detection finds."""
        with open(self.path + '.new', 'w') as out:
            out.write(mask)
        os.replace(self.path + '.new', self.path)

    def taken(self):
        return flows.wait_for(lambda: not os.path.exists(self.path), 30)


class Handler:
    def __init__(self, s, folder):
        self.path = os.path.join(folder, 'browser.exe')
        shutil.copy(os.path.join(os.path.dirname(s.args.engine_driver), 'stand_in.exe'), self.path)

    def recorded(self):
        return url_handlers.recorded(self.path)

    def addresses(self):
        return [line.rsplit('" "', 1)[-1].rstrip('"') for line in self.recorded()]


def main():
    args = harness.parse_args()
    with harness.Display() as display:
        s = harness.Session(args, display)
        scratch = s.scratch('guide')
        handler = Handler(s, scratch)
        detection = Detection(scratch)
        schemes = ('http', 'https', 'windowsdefender')
        saved = {scheme: url_handlers.saved(s, args.wine_run, args.wine_root, scheme) for scheme in schemes}
        powershell = harness.ScriptedPowerShell(s)
        host = None
        try:
            for scheme in schemes:
                url_handlers.register(s, args.wine_run, args.wine_root, scheme, windows_path(handler.path))
            g = Guide(s)
            open_close_reopen(g, s)
            # One host for the detections, one for the Defender check.
            host = g.start(FOLDER, '--detection', windows_path(detection.path))
            g.wait_step(0, 'a new guide')
            smartscreen_and_smart_app_control(g, s, handler)
            third_party(g, s, handler, detection)
            detection_answers(g, s, detection)
            s.driver('close', '--exe', EXE, '--class', CLASS)
            g.wait_log('[Parcelwright] 用户关闭排查窗口，当前步骤：0', 'closed on step 0', count=3)
            s.check_equal(host.wait(timeout=60), 0, 'the host ends with its guide')
            host = g.start(FOLDER, '--detection', windows_path(detection.path))
            g.wait_step(0, 'a new guide for the Defender check')
            defender_check(g, s, handler, powershell, scratch, detection)
            s.driver('close', '--exe', EXE, '--class', CLASS)
            g.wait_log('[Parcelwright] 用户关闭排查窗口，当前步骤：9', 'closed on step 9')
            s.check_equal(host.wait(timeout=60), 0, 'the host ends with its guide')
        finally:
            if host and host.poll() is None:
                host.kill()
            powershell.restore()
            for scheme, command in saved.items():
                url_handlers.restore(s, args.wine_run, args.wine_root, scheme, command)
        s.finish()


if __name__ == '__main__':
    main()
