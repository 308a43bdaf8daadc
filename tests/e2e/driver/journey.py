"""One end-to-end journey: an X screen, the instrument, and the operator's hands and eyes.

    with Journey('startup') as j:
        j.start(board=False)
        box = j.wait_dialog()
        ...

Every wait polls what can be observed (the screen, the windows, files, call logs) with a
bound; nothing waits a fixed time. On failure the journey leaves build/e2e/<name>/ with
the data root, the launcher's log and a screenshot of the moment, and says where."""

import os
import re
import shutil
import sys
import time
import traceback

from .display import Display, XServer
from .forms import MENU_ORIGIN, Form
from .image import Rect, hex_colour, ocr, squeeze
from .instrument import Instrument
from .paths import BINARY_DIR, SCREENSHOT_DIR

TITLE = Form('app/Dialog.ui')
MESSAGE = Form('app/MessageDlg.ui')
TABS = {'COUNT': 'BUTTON_COUNT', 'REVIEW': 'BUTTON_REVIEW', 'PROTOCOL': 'BUTTON_PROTOCOL',
        'SETTINGS': 'BUTTON_SETTINGS'}

# The title bar's look (app/Dialog.ui): the checked tab's bar, and the text colours of
# a checked, an enabled and a disabled tab.
TAB_BAR = hex_colour('#3a8ee6')
TAB_TEXT_CHECKED = hex_colour('#ffffff')
TAB_TEXT_ENABLED = hex_colour('#c9d3df')
TAB_TEXT_DISABLED = hex_colour('#5b6774')
BUTTON_BLUE = hex_colour('#1f5fa8')


class JourneyFailed(AssertionError):
    pass


class Journey:
    def __init__(self, name):
        self.name = name
        self.workdir = os.path.join(BINARY_DIR, 'e2e', name)
        self.shots = os.path.join(SCREENSHOT_DIR, name)
        for folder in (self.workdir, self.shots):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        self.instrument = None
        self.x = None
        self.display = None
        self._recorded = 0
        self._labels = set()
        self._last = None
        self._began = time.monotonic()
        self._step = ''

    # -- life cycle ---------------------------------------------------------------------

    def __enter__(self):
        self.x = XServer(os.path.join(self.workdir, 'xvfb.log'))
        self.display = Display(self.x.name)
        return self

    def __exit__(self, kind, error, tb):
        failed = kind is not None
        if failed:
            self._report(kind, error, tb)
        try:
            if self.instrument:
                self.instrument.stop()
        finally:
            self.x.stop()
        took = time.monotonic() - self._began
        if failed:
            print('%s: 0 passed, 1 failed (%.1f s)' % (self.name, took))
            sys.exit(1)
        print('%s: 1 passed, 0 failed (%.1f s)' % (self.name, took))
        return False

    def _report(self, kind, error, tb):
        print('FAILED in step: %s' % self._step)
        traceback.print_exception(kind, error, tb)
        try:
            path = os.path.join(self.workdir, 'failure.png')
            self.display.screenshot().save(path)
            print('Screen at the failure: %s' % path)
            print('Windows: %r' % self.display.windows())
        except Exception as e:     # the screen may be gone with the failure
            print('No screenshot: %s' % e)
        if self.instrument:
            print('Data root: %s' % self.instrument.root)
            print('--- launcher and program output (last 60 lines) ---')
            print('\n'.join(self.instrument.log().splitlines()[-60:]))

    def step(self, text):
        """Names what the journey does now; shown when it fails."""
        self._step = text
        print('[%5.1f s] %s' % (time.monotonic() - self._began, text), flush=True)

    def prepare(self, board=True):
        """Lays out the data root, as the run command does, without starting anything."""
        if self.instrument is None:
            self.instrument = Instrument(self.workdir, board=board)
        return self.instrument

    def start(self, board=True):
        """Lays out the data root (once) and starts the program through the launcher;
        returns when the main window is up and its title bar is live."""
        self.prepare(board)
        self.instrument.launch(self.display.name)
        self.wait_started()

    def wait_started(self, timeout=30):
        """Waits for the main window with its title bar live."""
        self.wait('the main window with a live title bar',
                  lambda: self.main_window() and any(
                      self.tab(t)[1] for t in ('REVIEW', 'PROTOCOL', 'SETTINGS')),
                  timeout=timeout)

    def wait_exit(self, timeout=20):
        self.instrument.wait_exit(timeout)
        return self.instrument.status

    # -- waiting and checking -----------------------------------------------------------

    def wait(self, what, predicate, timeout=15, allow_exit=False):
        """Polls predicate until it gives a true value, and returns that value."""
        deadline = time.monotonic() + timeout
        while True:
            self._last = None
            value = predicate()
            if value:
                return value
            if not allow_exit and self.instrument and not self.instrument.running():
                raise JourneyFailed('the program ended (status %s) while waiting for %s'
                                    % (self.instrument.launcher.returncode, what))
            if time.monotonic() > deadline:
                raise JourneyFailed('no %s within %d s' % (what, timeout))
            time.sleep(0.1)

    @staticmethod
    def check(condition, message):
        if not condition:
            raise JourneyFailed(message)

    def shot(self):
        """The screen now (one screenshot per poll round)."""
        if self._last is None:
            self._last = self.display.screenshot()
        return self._last

    def fresh(self):
        self._last = None
        return self.shot()

    def record(self, label):
        """Keeps the screen now for the screenshot sheet (once a label)."""
        if label in self._labels:
            return
        self._labels.add(label)
        self._recorded += 1
        slug = re.sub(r'[^A-Za-z0-9]+', '-', label).strip('-').lower()
        name = '%02d-%s.png' % (self._recorded, slug)
        self.fresh().save(os.path.join(self.shots, name))
        with open(os.path.join(self.shots, 'labels.txt'), 'a') as f:
            f.write('%s\t%s\n' % (name, label))

    # -- windows --------------------------------------------------------------------------

    def main_window(self):
        for w in self.display.windows():
            if w.name == 'ORBELIN' and (w.rect.w, w.rect.h) == (1280, 800):
                return w
        return None

    def dialogs(self):
        """The program's other windows on the screen, topmost last."""
        return [w for w in self.display.windows()
                if not (w.name == 'ORBELIN' and (w.rect.w, w.rect.h) == (1280, 800))]

    def wait_dialog(self, what='a dialog', size=None, timeout=15):
        def top():
            found = [d for d in self.dialogs()
                     if size is None or (d.rect.w, d.rect.h) == tuple(size)]
            return found[-1] if found else None
        return self.wait(what, top, timeout)

    def wait_no_dialog(self, timeout=15):
        self.wait('the dialogs to close', lambda: not self.dialogs(), timeout)

    def wait_gone(self, window, timeout=15):
        self.wait('%s to close' % window.name,
                  lambda: all(w.id != window.id for w in self.display.windows()), timeout)

    # -- touching -------------------------------------------------------------------------

    def tap(self, point):
        self._last = None
        self.display.tap(*point)

    def tap_widget(self, form, widget, origin=MENU_ORIGIN):
        self.tap(form.centre(widget, origin))

    def key(self, *keys):
        self._last = None
        self.display.key(self.main_window(), *keys)

    def tap_tab(self, name):
        self.tap(TITLE.centre(TABS[name]))

    def tab(self, name):
        """(checked, enabled) of a title-bar tab, read from the screen."""
        image = self.shot()
        rect = TITLE.rect(TABS[name])
        bar = Rect(rect.x + 20, rect.y + rect.h - 4, rect.w - 40, 3)
        checked = image.count(bar, TAB_BAR) > bar.w * bar.h // 2
        body = Rect(rect.x, rect.y, rect.w, rect.h - 8)
        lit = max(image.count(body, TAB_TEXT_CHECKED, 10), image.count(body, TAB_TEXT_ENABLED, 10))
        dim = image.count(body, TAB_TEXT_DISABLED, 10)
        return checked, lit > dim

    def menu(self):
        """The menu screen shown: the checked tab."""
        shown = [name for name in TABS if self.tab(name)[0]]
        return shown[0] if len(shown) == 1 else None

    def wait_menu(self, name, timeout=15):
        self.wait('the %s menu' % name, lambda: self.menu() == name, timeout)

    def looks_enabled(self, rect):
        """Whether a blue button looks live: an enabled one is mostly saturated blue, a
        disabled one grey."""
        part = self.shot().crop(rect.inset(6))
        d = part.data
        blue = sum(1 for i in range(0, len(d), 3) if d[i + 2] - d[i] > 60)
        return blue > (len(d) // 3) * 0.4

    def title_protocol(self):
        return ocr(self.shot(), TITLE.rect('LABEL_PROTOCOL').inset(4), single_line=True)

    # -- reading --------------------------------------------------------------------------

    def text(self, rect, **kwargs):
        return ocr(self.shot(), rect, **kwargs)

    def find_word(self, rect, word):
        """Where the word stands inside the rectangle, read from the screen, or None."""
        wanted = squeeze(word)
        dark = self.shot().mean_luminance(rect) < 128
        # A selected line stands out in the other colours: read both ways.
        found = (ocr(self.shot(), rect, words=True, negate=dark)
                 + ocr(self.shot(), rect, words=True, negate=not dark))
        for i, (text, box) in enumerate(found):
            if squeeze(text) == wanted:
                return box
            # OCR now and then splits a word at "_" or "-".
            if i + 1 < len(found) and squeeze(text + found[i + 1][0]) == wanted:
                after = found[i + 1][1]
                return Rect(box.x, box.y, after.x + after.w - box.x, max(box.h, after.h))
        return None

    def wait_word(self, rect, word, timeout=15):
        return self.wait('"%s" on the screen' % word, lambda: self.find_word(rect, word),
                         timeout)

    def field_text(self, rect):
        """The text of a one-line field, without the text cursor (which blinks)."""
        return self.text(rect, single_line=True).replace('|', '').replace(' ', '')

    def shows(self, rect, text):
        return squeeze(text) in squeeze(self.text(rect))

    # -- the message box ----------------------------------------------------------------

    def wait_message(self, timeout=15):
        return self.wait_dialog('a message box', size=(MESSAGE.size.w, MESSAGE.size.h),
                                timeout=timeout)

    def message_text(self, box):
        return self.text(MESSAGE.rect('LABEL_MESSAGE', (box.rect.x, box.rect.y)))

    def message_buttons(self, box):
        """The buttons a message box shows, by their text, read from the screen."""
        bar = MESSAGE.rect('BUTTON_BAR', (box.rect.x, box.rect.y))
        # A row above the buttons' texts, below their rounded corners.
        return self.buttons(bar.y + 15, Rect(bar.x, bar.y + 12, bar.w, bar.h - 24),
                            BUTTON_BLUE)

    def buttons(self, y, band, colour):
        """Buttons of one colour side by side in a band, found on row y and read one by
        one: {TEXT: Rect}."""
        found = {}
        for start, end in self.shot().runs(y, band.x, band.x + band.w, colour, minimum=60):
            rect = Rect(start, band.y, end - start, band.h)
            found[squeeze(self.text(rect, single_line=True)).upper()] = rect
        return found

    def answer(self, box, button):
        """Touches one button of a message box and waits until the box has gone."""
        buttons = self.wait('the buttons of the message box',
                            lambda: self.message_buttons(box))
        self.check(button in buttons, 'the message box offers %s, not %s'
                   % (sorted(buttons), button))
        self.tap(buttons[button].centre())
        self.wait_gone(box)

    # -- the on-screen keyboard ---------------------------------------------------------

    def keyboard(self, rect):
        """The embedded on-screen keyboard that fills the rectangle."""
        return Keyboard(self, rect)


class Keyboard:
    """An on-screen keyboard (keyboard/KeyboardFrame.ui) laid out in its rectangle; SHIFT
    is off when it opens."""

    NAMES = {'-': 'BUTTON_BAR', '_': 'BUTTON_UNDERBAR', ' ': 'BUTTON_SPACE'}

    def __init__(self, journey, rect):
        self.journey = journey
        self.form = Form('keyboard/KeyboardFrame.ui', (rect.w, rect.h))
        self.origin = (rect.x, rect.y)
        self.shift = False

    def key(self, name):
        self.journey.tap(self.form.centre(name, self.origin))

    def type(self, text):
        """Letters with SHIFT for capitals, digits, '-', '_' and blanks."""
        for ch in text:
            if ch.isalpha():
                if ch.isupper() != self.shift:
                    self.key('BUTTON_SHIFT')
                    self.shift = not self.shift
                self.key('BUTTON_' + ch.upper())
            else:
                self.key(self.NAMES.get(ch, 'BUTTON_' + ch))
