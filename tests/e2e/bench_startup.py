# Start-up time and memory of the real program, started by the launcher stand-in under Xvfb
# with the board stand-in, as on the instrument:
#     python3 tests/e2e/bench_startup.py [RUNS]   (or: cmake --build build -t benchmark_startup)
# Per run, from the launcher's start: the main window on the screen, the title bar live
# (COUNT lit: the board answered, the stages homed); once ready, the program's resident memory
# (VmRSS) and its peak (VmHWM), and the same after a walk through the four menus. Times are
# read by polling the screen (good to about 0.1 s). Prints the median and range of each.

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver.instrument import program_name  # noqa: E402
from driver.journey import TABS, Journey  # noqa: E402
from driver.paths import BINARY_DIR  # noqa: E402


def memory(launcher_pid):
    # VmRSS and VmHWM in MiB of the launcher's child: the loader, which became the program.
    with open('/proc/%d/task/%d/children' % (launcher_pid, launcher_pid)) as f:
        pid = int(f.read().split()[0])
    with open('/proc/%d/status' % pid) as f:
        values = dict(line.split(':', 1) for line in f)
    return [int(values[key].split()[0]) / 1024.0 for key in ('VmRSS', 'VmHWM')]


def run_once(bench):
    began = time.monotonic()
    bench.instrument.launch(bench.display.name)
    bench.wait('the main window', bench.main_window, 60)
    mapped = time.monotonic() - began
    bench.wait('COUNT lit', lambda: bench.tab('COUNT')[1], 60)
    measures = [mapped, time.monotonic() - began] + memory(bench.instrument.launcher.pid)
    for name in list(TABS)[1:] + ['COUNT']:
        bench.open(name)
    measures += memory(bench.instrument.launcher.pid)
    bench.key('q')
    bench.wait_exit()
    return measures


with Journey('benchmark') as bench:
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    bench.prepare()
    bench.poll = 0.02
    results = [run_once(bench) for _ in range(runs + 1)][1:]     # the first warms the file cache
    lines = ['Start-up of %s, %d runs (median, min-max):' % (program_name(), runs)]
    for i, name in enumerate(['window shown (s)', 'ready (s)', 'RSS when ready (MiB)',
                              'peak RSS when ready (MiB)', 'RSS after the four menus (MiB)',
                              'peak RSS after the four menus (MiB)']):
        column = [r[i] for r in results]
        lines.append('  %-36s %7.2f   %.2f-%.2f' % (name, statistics.median(column), min(column),
                                                  max(column)))
    print('\n'.join(lines))
    with open(os.path.join(BINARY_DIR, 'benchmark-startup.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')
