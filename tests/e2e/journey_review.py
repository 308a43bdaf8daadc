# Review: a stick plugged while the program runs shows in the tree; a saved count on it shows
# its totals and its images; the results log goes to the stick; the save folder is copied to
# the internal disk; the stick is pulled and leaves the tree, with the export on it.

import filecmp
import glob
import os

from driver.forms import MENU, Form
from driver.image import Rect
from driver.journey import Journey

REVIEW = Form('review/ReviewFrame.ui', MENU)
STICK = '/media/FIELD DATA'
LOG = '/root/ORBELIN_Vn/CountingResults.csv'

with Journey('review') as j:
    j.step('start without a stick')
    instrument = j.prepare()
    instrument.stick('pull', 'sdb1')        # the run command's stick stays out
    instrument.sample_data('/sticks/sdc1')  # saved counts on the stick to come
    j.start()
    j.open('REVIEW')
    tree = REVIEW.rect('FILE')
    j.wait_word(tree, 'ORBELIN')

    j.step('plug a stick while the program runs')
    instrument.stick('plug', 'sdc1', 'FIELD DATA')
    volume = j.wait_word(tree, 'FIELD')
    j.check('/dev/sdc1 /media/FIELD\\040DATA ' in instrument.read('/etc/mtab'),
            'the stick is not in the mount table: %r' % instrument.read('/etc/mtab'))
    j.check(['/dev/sdc1', STICK] in instrument.calls('mount'),
            'mount was called as %r' % instrument.calls('mount'))
    j.record('Review menu: a stick plugged while running')

    j.step('a saved count on the stick: totals and images')
    j.tap(volume.centre())
    j.tap(j.wait_word(tree, 'Ecoli_stick').centre())
    logged = next(line.split(',') for line in instrument.read(LOG).split('\n')
                  if line.startswith('Ecoli_stick,'))
    mantissa, exponent = logged[3].split('E')
    for label, expected in (
            ('TOTAL_CELLS', logged[2]), ('AVERAGE_SIZE', '%.1f' % float(logged[4])),
            ('TOTAL_CELLS_CONCENTRATION', '%s x 10e%d cells/mL' % (mantissa, int(exponent))),
            ('DILUTION_FACTOR', '100')):
        j.wait('%s to read %s' % (label, expected), lambda: j.line(REVIEW.rect(
            'LABEL_' + label)).replace(' ', '').startswith(expected.replace(' ', '')))
    image = REVIEW.rect('IMAGE').inset(2)
    current = REVIEW.rect('LABEL_CURRENT')
    j.wait('the first field', lambda: j.line(current, scale=2) == '1')
    first = j.shot()
    j.check(len(set(first.pixels(image)[:10000])) > 20, 'the image view shows no image')
    j.record('Review image: totals and the first field of a saved count')
    j.touch(REVIEW, 'BUTTON_NEXT')
    j.wait('the second field', lambda: j.line(current, scale=2) == '2')
    j.check(j.shot().difference(first, image) > 0.05, 'the second field shows the first picture')

    j.step('export the results log to the stick')
    j.touch(REVIEW, 'BUTTON_PREVIOUS_COUNTS')
    table = REVIEW.rect('TABLEWIDGET_CSV')
    newest = Rect(table.x, table.y, table.w - 44, 48)
    j.wait('the newest count first in the table',
           lambda: j.shows(newest, 'Ecoli_stick') and j.shows(newest, '4167'))
    j.record('Previous counts')
    j.touch(REVIEW, 'BUTTON_EXPORT_CSV')
    box = j.expect_message('successfully exported')
    j.record('Message: results exported')
    j.answer(box, 'OK')
    exported = glob.glob(instrument.path(STICK + '/CountingResults_*.csv'))
    j.check(len(exported) == 1, 'the stick holds %r' % exported)
    lines = instrument.read(LOG).split('\n')
    with open(exported[0], encoding='utf-8') as f:
        j.check(f.read().split('\n') == lines[:1] + lines[1:][::-1],
                'the export is not the log, newest first')

    j.step('copy the save folder to the internal disk')
    j.touch(REVIEW, 'BUTTON_REVIEW_IMAGE')
    j.tap(j.wait_word(tree, 'Ecoli_stick').centre())
    j.touch(REVIEW, 'BUTTON_COPY')
    j.tap(j.wait_word(tree, 'ORBELIN').centre())
    j.touch(REVIEW, 'BUTTON_PASTE')
    source = instrument.path(STICK + '/Ecoli_stick')
    target = instrument.path('/ORBELIN/Ecoli_stick')
    names = sorted(os.listdir(source))
    j.wait('the save folder on the internal disk', lambda: os.path.isdir(target)
           and sorted(os.listdir(target)) == names
           and filecmp.cmpfiles(source, target, names, shallow=False)[0] == names, timeout=30)
    j.wait('the dialogs to close', lambda: not j.dialogs())
    j.record('Review image: the save folder pasted onto the internal disk')

    j.step('pull the stick')
    instrument.stick('pull', 'sdc1')
    j.wait('the stick to leave the tree', lambda: j.find_word(tree, 'FIELD') is None)
    j.check('/dev/sdc1' not in instrument.read('/etc/mtab'), 'the stick is still mounted')
    j.check(any(call and call[0] in ('/dev/sdc1', STICK) for call in instrument.calls('umount')),
            'umount was called as %r' % instrument.calls('umount'))
    j.check(glob.glob(instrument.path('/sticks/sdc1/CountingResults_*.csv')),
            'the exported log did not stay on the pulled stick')
    j.check(j.find_word(tree, 'ORBELIN') is not None, 'the internal disk left the tree too')
    j.record('Review menu: the stick pulled')
