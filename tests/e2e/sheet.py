# Puts the screenshots the journeys kept on one page, build/screenshots/sheet.png, in the
# order of the journeys given on the command line, each labelled with what it shows.

import os
import subprocess
import sys

from driver.paths import SCREENSHOT_DIR

shots = []
for journey in sys.argv[1:]:
    index = os.path.join(SCREENSHOT_DIR, journey, 'labels.txt')
    if not os.path.exists(index):
        print('sheet: no screenshots of the journey %s' % journey)
        continue
    with open(index) as f:
        for name, label in (line.rstrip('\n').split('\t', 1) for line in f):
            shots += ['-label', '%s: %s' % (journey, label),
                      os.path.join(SCREENSHOT_DIR, journey, name)]
if not shots:
    sys.exit('sheet: no screenshots at all')
sheet = os.path.join(SCREENSHOT_DIR, 'sheet.png')
subprocess.run(['montage', '-font', '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf',
                '-pointsize', '13', '-background', '#f4f6f9', '-tile', '5x',
                '-geometry', '384x240+8+8'] + shots
               + ['-title', 'ORBELIN Vn: every screen and dialog the journeys met', sheet],
               check=True, timeout=120)
print('sheet: %d screenshots in %s' % (len(shots) // 3, sheet))
