# One end-to-end journey: an X screen, the instrument, and the operator's hands and eyes.
#
#     with Journey('startup') as j:
#         j.start(board=False, menu=None)
#         box = j.expect_message('controller board')
#
# Every wait polls what can be observed (the screen, the windows, files, call logs) with a
# bound; nothing waits a fixed time. On failure the journey leaves build/e2e/<name>/ with
# the data root, the launcher's log and a screenshot of the moment, and says where.

import os
import re
import shutil
import sys
import time
import traceback

from .display import Display, XServer
from .forms import MENU, Form
from .image import Rect, ocr, squeeze
from .instrument import Instrument
from .paths import BINARY_DIR, SCREENSHOT_DIR

TITLE = Form('app/Dialog.ui')
MESSAGE = Form('app/MessageDlg.ui')
SETTINGS = Form('settings/SettingsFrame.ui', MENU)
TABS = {'COUNT': 'BUTTON_COUNT', 'REVIEW': 'BUTTON_REVIEW', 'PROTOCOL': 'BUTTON_PROTOCOL',
        'SETTINGS': 'BUTTON_SETTINGS'}
DATE = ('EDIT_DAY', 'EDIT_MONTH', 'EDIT_YEAR', 'EDIT_HOUR', 'EDIT_MINUTE')

# The title bar's look (app/Dialog.ui): the checked tab's bar, and the text colours of a
# checked, an enabled and a disabled tab; the message box's buttons.
TAB_BAR, BUTTON_BLUE = (58, 142, 230), (31, 95, 168)
TAB_CHECKED, TAB_ENABLED, TAB_DISABLED = (255, 255, 255), (201, 211, 223), (91, 103, 116)


class JourneyFailed(AssertionError):
    pass


class Journey:
    def __init__(self, name):
        self.name, self.instrument, self._last, self._labels = name, None, None, []
        self.workdir = os.path.join(BINARY_DIR, 'e2e', name)
        self.shots = os.path.join(SCREENSHOT_DIR, name)
        for folder in (self.workdir, self.shots):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        self._began, self._step, self.poll = time.monotonic(), '', 0.1

    def __enter__(self):
        self.x = XServer(os.path.join(self.workdir, 'xvfb.log'))
        self.display = Display(self.x.name)
        return self

    def __exit__(self, kind, error, tb):
        if kind is not None:
            self._report(kind, error, tb)
        try:
            if self.instrument:
                self.instrument.stop()
        finally:
            self.x.stop()
        print('%s: %s (%.1f s)' % (self.name, 'FAILED' if kind else 'passed',
                                   time.monotonic() - self._began))
        if kind is not None:
            sys.exit(1)

    def _report(self, kind, error, tb):
        print('FAILED in step: %s' % self._step)
        traceback.print_exception(kind, error, tb)
        try:
            path = os.path.join(self.workdir, 'failure.png')
            self.display.screenshot().save(path)
            print('Screen at the failure: %s\nWindows: %r' % (path, self.display.windows()))
        except Exception as e:     # the screen may be gone with the failure
            print('No screenshot: %s' % e)
        if self.instrument:
            print('Data root: %s\n--- launcher and program output (last 60 lines) ---\n%s' % (
                self.instrument.root, '\n'.join(self.instrument.log().splitlines()[-60:])))

    def step(self, text):
        # Names what the journey does now; shown when it fails.
        self._step = text
        print('[%5.1f s] %s' % (time.monotonic() - self._began, text), flush=True)

    def prepare(self, board=True):
        # Lays out the data root, as the run command does, without starting anything.
        if self.instrument is None:
            self.instrument = Instrument(self.workdir, board=board)
        return self.instrument

    def start(self, board=True, menu='COUNT'):
        self.prepare(board).launch(self.display.name)
        self.wait_started(menu)

    def wait_started(self, menu='COUNT', timeout=30):
        # The main window with its title bar live (and the menu shown).
        self.wait('the main window with a live title bar', lambda: self.main_window() and any(
            self.tab(t)[1] for t in ('REVIEW', 'PROTOCOL', 'SETTINGS')), timeout)
        if menu:
            self.wait_menu(menu)

    def wait_exit(self, timeout=20):
        return self.instrument.wait_exit(timeout)

    def expect_exit(self, status=1):
        statuses = (self.wait_exit(), self.instrument.statuses()[-1:])
        self.check(statuses == (status, [status]), 'launcher and its log end with %r' % (statuses,))

    def wait(self, what, predicate, timeout=15):
        # Polls predicate until it gives a true value, and returns that value.
        deadline = time.monotonic() + timeout
        while True:
            self._last = None
            value = predicate()
            if value:
                return value
            if self.instrument and not self.instrument.running():
                raise JourneyFailed('the program ended (status %s) while waiting for %s'
                                    % (self.instrument.launcher.returncode, what))
            if time.monotonic() > deadline:
                raise JourneyFailed('no %s within %d s' % (what, timeout))
            time.sleep(self.poll)

    @staticmethod
    def check(condition, message):
        if not condition:
            raise JourneyFailed(message)

    def check_calls(self, program, expected):
        calls = self.instrument.calls(program)
        self.check(calls == expected, '%s was called as %r, not %r' % (program, calls, expected))

    def shot(self):
        # The screen now (one screenshot per poll round).
        if self._last is None:
            self._last = self.display.screenshot()
        return self._last

    def record(self, label):
        # Keeps the screen now for the screenshot sheet (once a label).
        if label in self._labels:
            return
        self._labels.append(label)
        slug = re.sub(r'[^a-z0-9]+', '-', label.lower()).strip('-')
        name = '%02d-%s.png' % (len(self._labels), slug)
        self._last = None
        self.shot().save(os.path.join(self.shots, name))
        with open(os.path.join(self.shots, 'labels.txt'), 'a') as f:
            f.write('%s\t%s\n' % (name, label))

    # -- windows ----------------------------------------------------------------------------

    def main_window(self):
        return next((w for w in self.display.windows() if self._is_main(w)), None)

    @staticmethod
    def _is_main(w):
        return w.name == 'ORBELIN' and (w.rect.w, w.rect.h) == (1280, 800)

    def dialogs(self):
        # The program's other windows on the screen, topmost last.
        return [w for w in self.display.windows() if not self._is_main(w)]

    def wait_dialog(self, form, timeout=15):
        # The topmost window of the form's size.
        def top():
            found = [d for d in self.dialogs()
                     if (d.rect.w, d.rect.h) == (form.size.w, form.size.h)]
            return found[-1] if found else None
        return self.wait('the window of ' + form.path, top, timeout)

    def wait_gone(self, window, timeout=15):
        self.wait('%s to close' % window.name,
                  lambda: all(w.id != window.id for w in self.display.windows()), timeout)

    # -- touching and keys ------------------------------------------------------------------

    def tap(self, point):
        self._last = None
        self.display.tap(*point)

    def touch(self, form, name, origin=None):
        self.tap(form.centre(name, origin))

    def key(self, *keys):
        self._last = None
        self.display.key(self.main_window(), *keys)

    def open(self, tab):
        self.touch(TITLE, TABS[tab])
        self.wait_menu(tab)

    def set_date(self, *values, press=True):
        # Day, month, year, hour and minute (as many as given) on the Settings key pad, then
        # SET DATE/TIME.
        for edit, digits in zip(DATE, values):
            self.touch(SETTINGS, edit)
            for digit in digits:
                self.touch(SETTINGS, 'BUTTON_KEY_' + digit)
        if press:
            self.touch(SETTINGS, 'BUTTON_SET_DATE_TIME')

    # -- looking ----------------------------------------------------------------------------

    def tab(self, name):
        # (checked, enabled) of a title-bar tab, read from the screen.
        image, rect = self.shot(), TITLE.rect(TABS[name])
        bar = Rect(rect.x + 20, rect.y + rect.h - 4, rect.w - 40, 3)
        body = Rect(rect.x, rect.y, rect.w, rect.h - 8)
        lit = max(image.count(body, TAB_CHECKED, 10), image.count(body, TAB_ENABLED, 10))
        dim = image.count(body, TAB_DISABLED, 10)
        return image.count(bar, TAB_BAR) > bar.w * bar.h // 2, lit > dim

    def menu(self):
        # The menu screen shown: the checked tab.
        shown = [name for name in TABS if self.tab(name)[0]]
        return shown[0] if len(shown) == 1 else None

    def wait_menu(self, name, timeout=15):
        self.wait('the %s menu' % name, lambda: self.menu() == name, timeout)

    def looks_enabled(self, rect):
        # An enabled blue button is mostly saturated blue, a disabled one grey.
        px = self.shot().pixels(rect.inset(6))
        return sum(1 for r, g, b in px if b - r > 60) > len(px) * 0.4

    def title_protocol(self):
        return self.line(TITLE.rect('LABEL_PROTOCOL').inset(4))

    def text(self, rect, **kwargs):
        return ocr(self.shot(), rect, **kwargs)

    def line(self, rect, **kwargs):
        return ocr(self.shot(), rect, single_line=True, **kwargs)

    def field_text(self, rect):
        # A one-line field's text, without the (blinking) text cursor.
        return self.line(rect).replace('|', '').replace(' ', '')

    def shows(self, rect, text):
        return squeeze(text) in squeeze(self.text(rect))

    def find_word(self, rect, word):
        # Where the word stands inside the rectangle, read from the screen, or None. A
        # selected line stands out in the other colours: read both ways.
        dark = self.shot().mean_luminance(rect) < 128
        found = [w for negate in (dark, not dark)
                 for w in self.text(rect, words=True, negate=negate)]
        for (text, box), (after, nxt) in zip(found, found[1:] + [('', None)]):
            if squeeze(text) == squeeze(word):
                return box
            if nxt and squeeze(text + after) == squeeze(word):  # OCR splits words at "_", "-"
                return Rect(box.x, box.y, nxt.x + nxt.w - box.x, max(box.h, nxt.h))
        return None

    def wait_word(self, rect, word, timeout=15):
        return self.wait('"%s" on the screen' % word, lambda: self.find_word(rect, word), timeout)

    # -- the message box --------------------------------------------------------------------

    def expect_message(self, *words, timeout=15):
        # The message box, once up and painted; it must say each of the words.
        box = self.wait_dialog(MESSAGE, timeout)
        text = self.wait('the message text', lambda: self.text(MESSAGE.rect('LABEL_MESSAGE', box)))
        self.check(all(squeeze(w) in squeeze(text) for w in words),
                   'the message says %r, not %r' % (text, words))
        return box

    def buttons(self, y, band, colour):
        # Buttons of one colour side by side in a band, found on row y and read one by one.
        return {squeeze(self.line(Rect(start, band.y, end - start, band.h))).upper():
                Rect(start, band.y, end - start, band.h)
                for start, end in self.shot().runs(y, band.x, band.x + band.w, colour, 60)}

    def message_buttons(self, box):
        # A row above the buttons' texts, below their rounded corners.
        bar = MESSAGE.rect('BUTTON_BAR', box)
        return self.buttons(bar.y + 15, Rect(bar.x, bar.y + 12, bar.w, bar.h - 24), BUTTON_BLUE)

    def answer(self, box, button):
        # Touches one button of a message box and waits until the box has gone.
        buttons = self.wait('the buttons of the message box', lambda: self.message_buttons(box))
        self.check(button in buttons,
                   'the message box offers %s, not %s' % (sorted(buttons), button))
        self.tap(buttons[button].centre())
        self.wait_gone(box)

    def keyboard(self, form, window):
        # The on-screen keyboard embedded as the widget "Keyboard" of a dialog's form.
        return Keyboard(self, form.rect('Keyboard', window))


class Keyboard:
    # keyboard/KeyboardFrame.ui laid out in its rectangle; SHIFT is off when it opens.
    NAMES = {'-': 'BUTTON_BAR', '_': 'BUTTON_UNDERBAR', ' ': 'BUTTON_SPACE'}

    def __init__(self, journey, rect):
        self.journey, self.shift = journey, False
        self.form = Form('keyboard/KeyboardFrame.ui', (rect.x, rect.y), (rect.w, rect.h))

    def key(self, name):
        self.journey.touch(self.form, name)

    def type(self, text):
        # Letters with SHIFT for capitals, digits, '-', '_' and blanks.
        for ch in text:
            if ch.isalpha() and ch.isupper() != self.shift:
                self.key('BUTTON_SHIFT')
                self.shift = not self.shift
            self.key('BUTTON_' + ch.upper() if ch.isalpha() else self.NAMES.get(ch, 'BUTTON_' + ch))
