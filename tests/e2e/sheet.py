"""Puts the screenshots the journeys kept into one page, build/screenshots/sheet.png, in
the order of the journeys given on the command line, each labelled with what it shows."""

import os
import subprocess
import sys

from driver.paths import SCREENSHOT_DIR

FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'


def main(journeys):
    shots = []
    for journey in journeys:
        index = os.path.join(SCREENSHOT_DIR, journey, 'labels.txt')
        if not os.path.exists(index):
            print('sheet: no screenshots of the journey %s' % journey)
            continue
        with open(index) as f:
            for line in f:
                name, label = line.rstrip('\n').split('\t', 1)
                shots.append((os.path.join(SCREENSHOT_DIR, journey, name),
                              '%s: %s' % (journey, label)))
    if not shots:
        print('sheet: no screenshots at all')
        return 1
    sheet = os.path.join(SCREENSHOT_DIR, 'sheet.png')
    command = ['montage', '-font', FONT, '-pointsize', '13', '-background', '#f4f6f9',
               '-tile', '5x', '-geometry', '384x240+8+8']
    for path, label in shots:
        command += ['-label', label, path]
    command += ['-title', 'ORBELIN Vn: every screen and dialog the journeys met', sheet]
    subprocess.run(command, check=True, timeout=120)
    print('sheet: %d screenshots in %s' % (len(shots), sheet))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
