# The instrument on the desk: a data root laid out as the run command lays it, the
# stand-ins, and the real program started through the launcher stand-in.

import configparser
import os
import subprocess
import time

from .display import end
from .paths import BINARY_DIR, STANDINS_DIR

SETTINGS_FILE = '/root/ORBELIN_Vn/ORBELIN_Vn.ini'


def program_name():
    with open(os.path.join(BINARY_DIR, 'program-name.txt')) as f:
        return f.read().strip()


class Instrument:
    def __init__(self, workdir, board=True):
        self.root = os.path.join(workdir, 'dataroot')
        self.log_path = os.path.join(workdir, 'launcher.log')
        self.board, self.launcher, self.status, self._standins = board, None, None, False
        self.env = dict(os.environ, ORBELIN_ROOT=self.root,
                        PATH=os.path.join(STANDINS_DIR, 'bin') + os.pathsep + os.environ['PATH'])
        self.env.pop('QT_QPA_PLATFORM', None)
        self.script('setup-dataroot.sh', self.root, BINARY_DIR)

    def script(self, name, *args, env=None):
        subprocess.run(['bash', os.path.join(STANDINS_DIR, name)] + list(args),
                       env=env or self.env, check=True, stdout=subprocess.DEVNULL, timeout=60)

    def stick(self, *args):
        # standins/usb-stick.sh: plug NAME LABEL, pull NAME, ...
        self.script('usb-stick.sh', *args)

    def sample_data(self, stick_folder):
        subprocess.run([os.path.join(BINARY_DIR, 'standins', 'make-sample-data'), stick_folder],
                       env=dict(self.env, QT_QPA_PLATFORM='offscreen'), check=True,
                       stdout=subprocess.DEVNULL, timeout=60)

    def stop_standins(self):
        if self._standins:
            self.script('stop-standins.sh', self.root)
            self._standins = False

    def launch(self, display):
        # The launcher stand-in starts the installed program through "/root/loader".
        if not self._standins:
            env = dict(self.env, **({} if self.board else {'ORBELIN_NO_BOARD': '1'}))
            self.script('start-standins.sh', self.root, BINARY_DIR, env=env)
            self._standins = True
        self.status = None
        with open(self.log_path, 'ab') as log:
            self.launcher = subprocess.Popen(
                ['bash', os.path.join(STANDINS_DIR, 'launcher.sh')],
                env=dict(self.env, DISPLAY=display), stdout=log, stderr=subprocess.STDOUT,
                stdin=subprocess.DEVNULL, start_new_session=True)
        self.started_at = time.monotonic()

    def running(self):
        return self.launcher is not None and self.launcher.poll() is None

    def wait_exit(self, timeout):
        self.status = self.launcher.wait(timeout)
        return self.status

    def stop(self):
        # The launcher we started ends the program; then the stand-ins.
        end(self.launcher)
        self.stop_standins()

    def path(self, instrument_path):
        return self.root + instrument_path

    def exists(self, instrument_path):
        return os.path.lexists(self.path(instrument_path))

    def read(self, instrument_path, default=''):
        try:
            with open(self.path(instrument_path), 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except FileNotFoundError:
            return default

    def ini(self, section, key, file=SETTINGS_FILE):
        parser = configparser.ConfigParser(interpolation=None, strict=False)
        parser.optionxform = str
        parser.read_string(self.read(file))
        return parser.get(section, key, fallback=None)

    def calls(self, program):
        # Each recorded call of a stand-in, oldest first: its arguments, each ended by a NUL,
        # then a record separator and a NUL.
        raw = self.read('/calls/%s.log' % program)
        return [call.split('\0')[:-1] for call in raw.split('\036\0')[:-1]]

    def board_lines(self):
        return [line for line in self.read('/calls/board.log').splitlines() if line]

    def log(self):
        try:
            with open(self.log_path, 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except FileNotFoundError:
            return ''

    def statuses(self):
        return [int(s) for s in self.read('/launcher-status.log').split()]
