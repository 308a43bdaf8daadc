"""Start-up time and memory of the real program, started by the launcher stand-in under
Xvfb with the board stand-in, as on the instrument.

    python3 tests/e2e/bench_startup.py [RUNS]      (or: cmake --build build -t benchmark_startup)

For each run it measures, from the launcher's start:
  window   the main window is on the screen
  ready    the title bar is live (COUNT lit: the board answered, the stages are homed)
and, once ready, the program's resident memory (VmRSS) and its peak (VmHWM), then the
same after a walk through the four menu screens. Times are read by polling the screen,
so they are good to about 0.1 s. Prints the median and the range of each."""

import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver.display import Display, XServer  # noqa: E402
from driver.instrument import Instrument  # noqa: E402
from driver.journey import Journey  # noqa: E402
from driver.paths import BINARY_DIR  # noqa: E402


def memory(pid):
    """VmRSS and VmHWM of a process, in MiB."""
    values = {}
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            key, _, rest = line.partition(':')
            if key in ('VmRSS', 'VmHWM'):
                values[key] = int(rest.split()[0]) / 1024.0
    return values['VmRSS'], values['VmHWM']


def program_pid(launcher_pid):
    """The launcher's child: the loader, which became the program (exec)."""
    with open('/proc/%d/task/%d/children' % (launcher_pid, launcher_pid)) as f:
        children = f.read().split()
    return int(children[0]) if children else None


class Bench(Journey):
    """A journey's eyes and hands without its test report."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.instrument = None
        self._last = None


def run_once(bench):
    instrument = bench.instrument
    began = time.monotonic()
    instrument.launch(bench.display.name)
    mapped = None
    while True:
        if mapped is None and bench.main_window():
            mapped = time.monotonic() - began
        bench._last = None
        if mapped is not None and bench.tab('COUNT')[1]:
            ready = time.monotonic() - began
            break
        if not instrument.running() or time.monotonic() - began > 60:
            raise RuntimeError('the program did not come up; see %s' % instrument.log_path)
        time.sleep(0.02)
    pid = program_pid(instrument.launcher.pid)
    rss, peak = memory(pid)
    for name in ('REVIEW', 'PROTOCOL', 'SETTINGS', 'COUNT'):
        bench.tap_tab(name)
        bench.wait_menu(name)
    rss_walk, peak_walk = memory(pid)
    bench.key('q')
    instrument.wait_exit(20)
    return mapped, ready, rss, peak, rss_walk, peak_walk


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    workdir = os.path.join(BINARY_DIR, 'e2e', 'benchmark')
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    x = XServer(os.path.join(workdir, 'xvfb.log'))
    bench = Bench(workdir)
    bench.display = Display(x.name)
    bench.instrument = Instrument(workdir, board=True)
    results = []
    try:
        run_once(bench)                 # warms the file cache; not counted
        for _ in range(runs):
            results.append(run_once(bench))
    finally:
        bench.instrument.stop()
        x.stop()
    names = ['window shown (s)', 'ready (s)', 'RSS when ready (MiB)', 'peak RSS when ready (MiB)',
             'RSS after the four menus (MiB)', 'peak RSS after the four menus (MiB)']
    lines = ['Start-up of %s, %d runs (median, min-max):' % (
        open(os.path.join(BINARY_DIR, 'program-name.txt')).read().strip(), runs)]
    for i, name in enumerate(names):
        column = [r[i] for r in results]
        lines.append('  %-36s %7.2f   %.2f-%.2f' % (name, statistics.median(column),
                                                  min(column), max(column)))
    report = '\n'.join(lines)
    print(report)
    with open(os.path.join(BINARY_DIR, 'benchmark-startup.txt'), 'w') as f:
        f.write(report + '\n')


if __name__ == '__main__':
    main()
