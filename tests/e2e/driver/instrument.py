"""The instrument on the desk: a data root laid out as the run command lays it, the
stand-ins, and the real program started through the launcher stand-in."""

import configparser
import os
import signal
import subprocess
import time

from .paths import BINARY_DIR, STANDINS_DIR


def program_name():
    with open(os.path.join(BINARY_DIR, 'program-name.txt')) as f:
        return f.read().strip()


class Instrument:
    def __init__(self, workdir, board=True):
        self.root = os.path.join(workdir, 'dataroot')
        self.log_path = os.path.join(workdir, 'launcher.log')
        self.board = board
        self.launcher = None
        self.status = None
        self.env = dict(os.environ)
        self.env['ORBELIN_ROOT'] = self.root
        self.env['PATH'] = os.path.join(STANDINS_DIR, 'bin') + os.pathsep + self.env['PATH']
        self.env.pop('QT_QPA_PLATFORM', None)
        self.script('setup-dataroot.sh', self.root, BINARY_DIR)
        self._standins = False

    def script(self, name, *args, env=None):
        subprocess.run(['bash', os.path.join(STANDINS_DIR, name)] + list(args),
                       env=env or self.env, check=True, stdout=subprocess.DEVNULL, timeout=60)

    def stick(self, *args):
        """standins/usb-stick.sh: plug NAME LABEL, pull NAME, ..."""
        self.script('usb-stick.sh', *args)

    def sample_data(self, stick_folder):
        """Writes the sample saved counts (make-sample-data) onto a stick's content."""
        subprocess.run([os.path.join(BINARY_DIR, 'standins', 'make-sample-data'),
                        stick_folder], env=dict(self.env, QT_QPA_PLATFORM='offscreen'),
                       check=True, stdout=subprocess.DEVNULL, timeout=60)

    def start_standins(self):
        env = dict(self.env)
        if not self.board:
            env['ORBELIN_NO_BOARD'] = '1'
        self.script('start-standins.sh', self.root, BINARY_DIR, env=env)
        self._standins = True

    def stop_standins(self):
        if self._standins:
            subprocess.run(['bash', os.path.join(STANDINS_DIR, 'stop-standins.sh'), self.root],
                           env=self.env, timeout=60)
            self._standins = False

    def launch(self, display):
        """Starts the launcher stand-in, which starts the installed program."""
        if not self._standins:
            self.start_standins()
        env = dict(self.env, DISPLAY=display)
        self.status = None
        with open(self.log_path, 'ab') as log:
            self.launcher = subprocess.Popen(
                ['bash', os.path.join(STANDINS_DIR, 'launcher.sh')], env=env,
                stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                start_new_session=True)
        self.started_at = time.monotonic()

    def running(self):
        return self.launcher is not None and self.launcher.poll() is None

    def wait_exit(self, timeout):
        """The launcher's exit status, once it ended within timeout seconds."""
        self.status = self.launcher.wait(timeout)
        return self.status

    def stop(self):
        """Ends the launcher we started (it ends the program), then the stand-ins."""
        if self.running():
            self.launcher.send_signal(signal.SIGTERM)
            try:
                self.launcher.wait(15)
            except subprocess.TimeoutExpired:
                os.killpg(self.launcher.pid, signal.SIGKILL)
                self.launcher.wait(15)
        self.stop_standins()

    def path(self, instrument_path):
        """The real file of an instrument path: path('/root/x') is <root>/root/x."""
        return self.root + instrument_path

    def exists(self, instrument_path):
        return os.path.lexists(self.path(instrument_path))

    def read(self, instrument_path, default=None):
        try:
            with open(self.path(instrument_path), 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except FileNotFoundError:
            return default

    def ini(self, section, key, file='/root/ORBELIN_Vn/ORBELIN_Vn.ini'):
        parser = configparser.ConfigParser(interpolation=None, strict=False)
        parser.optionxform = str
        text = self.read(file, '')
        parser.read_string(text)
        if parser.has_option(section, key):
            return parser.get(section, key)
        return None

    def calls(self, program):
        """Every recorded call of a stand-in program, oldest first, as argument lists."""
        raw = self.read('/calls/%s.log' % program, '')
        found = []
        current = []
        # Each argument ends with a NUL, each call with a record separator and a NUL.
        for field in raw.split('\0')[:-1]:
            if field == '\036':
                found.append(current)
                current = []
            else:
                current.append(field)
        return found

    def board_lines(self):
        return [line for line in (self.read('/calls/board.log', '') or '').splitlines() if line]

    def log(self):
        try:
            with open(self.log_path, 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except FileNotFoundError:
            return ''

    def statuses(self):
        return [int(s) for s in (self.read('/launcher-status.log', '') or '').split()]
