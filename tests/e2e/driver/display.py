# An Xvfb screen of its own, real input events through xdotool, screenshots.

import collections
import os
import random
import select
import signal
import subprocess

from .image import Image, Rect

Window = collections.namedtuple('Window', 'id name rect')


def end(proc):
    # Ends a process this driver started: SIGTERM, then SIGKILL to its group after 15 s.
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(15)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(15)


class XServer:
    # Display numbers are tried at random well above the ones other tools pick (xvfb-run
    # starts at 99); -displayfd says when the server listens. -noreset: else the server
    # resets whenever its last client leaves (every screenshot does), turning away a
    # program that connects during the reset.
    def __init__(self, log_path, size='1280x800x24'):
        self._log = open(log_path, 'wb')
        for number in random.sample(range(300, 900), 30):
            if not os.path.exists('/tmp/.X%d-lock' % number) and self._try(number, size):
                self.name = ':%d' % number
                return
        self._log.close()
        raise RuntimeError('no free X display for Xvfb (see %s)' % log_path)

    def _try(self, number, size):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ['Xvfb', ':%d' % number, '-displayfd', str(write_end), '-screen', '0', size,
             '-nolisten', 'tcp', '-noreset'], pass_fds=(write_end,), stdout=self._log,
            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end, 'rb') as pipe:
            said = pipe.readline() if select.select([pipe], [], [], 20)[0] else b''
        if said.strip() == str(number).encode():
            return True
        end(self.proc)
        return False

    def stop(self):
        end(self.proc)
        self._log.close()


class Display:
    # One X display as the instrument's touch screen.
    def __init__(self, name):
        self.name = name
        self.env = dict(os.environ, DISPLAY=name)
        self.root = int(self.run('xwininfo', '-root').split('Window id:')[1].split()[0], 16)

    def run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=20)
        if check and result.returncode != 0:
            raise RuntimeError('%s failed: %s' % (' '.join(args), result.stderr.decode()))
        return result.stdout.decode(errors='replace')

    def screenshot(self):
        return Image.from_ppm(subprocess.run(
            ['import', '-silent', '-window', 'root', '-depth', '8', 'ppm:-'], env=self.env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True, timeout=20).stdout)

    def tap(self, x, y):
        # One request stream: the server moves the pointer before it presses. (With --sync
        # xdotool waits seconds when the pointer is already there.)
        self.run('xdotool', 'mousemove', str(int(x)), str(int(y)), 'click', '1')

    def key(self, window, *keys):
        self.run('xdotool', 'windowfocus', '--sync', str(window.id))
        self.run('xdotool', 'key', *keys)

    def windows(self):
        # The mapped top-level windows, bottom first, the root left out.
        found = []
        ids = self.run('xdotool', 'search', '--onlyvisible', '--name', '', check=False).split()
        for wid in ids:
            if int(wid) == self.root:
                continue
            out = self.run('xdotool', 'getwindowgeometry', '--shell', wid, 'getwindowname', wid,
                           check=False).split('\n')
            values = dict(line.split('=', 1) for line in out[:6] if '=' in line)
            if len(out) > 6:        # else gone in the meantime
                found.append(Window(int(wid), out[6].strip(), Rect(
                    values['X'], values['Y'], values['WIDTH'], values['HEIGHT'])))
        return found
