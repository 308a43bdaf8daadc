"""An Xvfb screen of its own, real input events through xdotool, screenshots."""

import os
import random
import select
import signal
import subprocess
import time

from .image import Image, Rect


class XServer:
    """Xvfb on a display number of its own. Numbers are tried at random well above the
    ones other tools pick (xvfb-run starts at 99), and -displayfd says when the server
    listens, so parallel tests neither collide nor wait a fixed time. -noreset: without it
    the server resets whenever its last client leaves (every screenshot does), and a
    program connecting during the reset is turned away."""

    def __init__(self, log_path, size='1280x800x24'):
        self._log = open(log_path, 'wb')
        self.proc = None
        for _ in range(30):
            number = random.randint(300, 899)
            if os.path.exists('/tmp/.X%d-lock' % number):
                continue
            if self._try(number, size):
                self.name = ':%d' % number
                return
        self._log.close()
        raise RuntimeError('no free X display for Xvfb (see %s)' % log_path)

    def _try(self, number, size):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ['Xvfb', ':%d' % number, '-displayfd', str(write_end), '-screen', '0', size,
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=(write_end,), stdout=self._log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        said = b''
        deadline = time.monotonic() + 20
        try:
            while not said.endswith(b'\n'):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    break
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                said += chunk
        finally:
            os.close(read_end)
        if said.strip() == str(number).encode() and self._answers(number):
            return True
        self._end()
        return False

    def _answers(self, number):
        """Whether a client gets through to the display within 10 s."""
        env = dict(os.environ, DISPLAY=':%d' % number)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if subprocess.run(['xdpyinfo'], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=10).returncode == 0:
                return True
            time.sleep(0.1)
        return False

    def _end(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)

    def stop(self):
        self._end()
        self._log.close()


class Window:
    def __init__(self, wid, name, rect):
        self.id, self.name, self.rect = wid, name, rect

    def __repr__(self):
        return 'Window(%s %r %r)' % (self.id, self.name, self.rect)


class Display:
    """Talks to one X display as the instrument's touch screen."""

    def __init__(self, name):
        self.name = name
        self.env = dict(os.environ, DISPLAY=name)
        self._root = None

    def run(self, *args, check=True):
        result = subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=20)
        if check and result.returncode != 0:
            raise RuntimeError('%s failed: %s' % (' '.join(args),
                                                  result.stderr.decode(errors='replace')))
        return result.stdout.decode(errors='replace')

    def screenshot(self):
        raw = subprocess.run(['import', '-silent', '-window', 'root', '-depth', '8', 'ppm:-'],
                             env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             check=True, timeout=20).stdout
        return Image.from_ppm(raw)

    def tap(self, x, y):
        """A touch: the pointer goes to (x, y), then one press and release."""
        # One request stream: the server moves the pointer before it presses. (With
        # --sync xdotool waits seconds when the pointer is already there.)
        self.run('xdotool', 'mousemove', str(int(x)), str(int(y)), 'click', '1')

    def key(self, window, *keys):
        """Keys of an attached keyboard, typed into the given window."""
        self.run('xdotool', 'windowfocus', '--sync', str(window.id))
        self.run('xdotool', 'key', *keys)

    def root_id(self):
        if self._root is None:
            out = self.run('xwininfo', '-root')
            self._root = int(out.split('Window id:')[1].split()[0], 16)
        return self._root

    def windows(self):
        """The mapped top-level windows, bottom first, the root left out."""
        out = self.run('xdotool', 'search', '--onlyvisible', '--name', '', check=False)
        found = []
        for token in out.split():
            wid = int(token)
            if wid == self.root_id():
                continue
            geometry = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', token],
                                      env=self.env, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, timeout=20)
            name = subprocess.run(['xdotool', 'getwindowname', token], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  timeout=20)
            if geometry.returncode != 0:
                continue            # gone in the meantime
            values = dict(line.split('=', 1) for line in
                          geometry.stdout.decode().split() if '=' in line)
            found.append(Window(wid, name.stdout.decode(errors='replace').strip(),
                                Rect(values['X'], values['Y'], values['WIDTH'],
                                     values['HEIGHT'])))
        return found
