# Re-analysis: a saved count picked in the Review menu is counted again from its raw images;
# the Count menu shows the totals and the new results-log row is row 0 of the previous
# counts. A count with a damaged raw image names it and counts the rest.

from driver.forms import MENU, Form
from driver.image import Rect, squeeze
from driver.journey import Journey

REVIEW = Form('review/ReviewFrame.ui', MENU)
COUNT = Form('count/CountFrame.ui', MENU)


def rows(j):
    return [line.split(',') for line in j.instrument.read('/root/ORBELIN_Vn/CountingResults.csv')
            .split('\n')[1:] if line]


def reanalyse(j, *folders):
    # Opens the tree down to the save folder (a touch opens a folder), then RE-ANALYSIS.
    for name in folders:
        j.tap(j.wait_word(REVIEW.rect('FILE'), name, timeout=20).centre())
    j.wait('the saved totals', lambda: j.line(REVIEW.rect('LABEL_TOTAL_CELLS')).strip())
    j.record('Review: the saved count ' + folders[-1])
    j.touch(REVIEW, 'BUTTON_RE_ANALYSIS')


with Journey('reanalysis') as j:
    j.step('re-analyse the saved count Yeast_camera')
    j.start()
    before = len(rows(j))
    j.open('REVIEW')
    reanalyse(j, 'ORBELIN', 'Yeast_camera')
    j.wait_menu('COUNT')
    j.wait('the new results-log row', lambda: len(rows(j)) == before + 1, timeout=30)
    row = rows(j)[-1]
    j.check(row[0] == '' and row[5] == 'DEFAULT' and len(row) == 6 + 2 * 10,
            'the new row is %r' % row)
    j.wait('the totals on the Count menu',
           lambda: squeeze(j.line(COUNT.rect('LABEL_TOTAL_CELLS').inset(2))) == str(int(row[2])))
    mantissa, exponent = row[3].split('E')
    shown = squeeze(j.line(COUNT.rect('LABEL_TOTAL_CELLS_CONCENTRATION').inset(2)))
    j.check(shown == squeeze('%s x 10e%d cells/mL' % (mantissa, int(exponent))),
            'the Count menu shows %r for %r' % (shown, row[3]))
    j.record('Count: totals of the re-analysis')

    j.step('the new row heads the previous counts')
    j.open('REVIEW')
    j.touch(REVIEW, 'BUTTON_PREVIOUS_COUNTS')
    table = REVIEW.rect('TABLEWIDGET_CSV')
    # Row 0 holds date and time on two lines, left of the scroll bar. Count and concentration
    # tell the new row from the old row 0 (its date and time change from run to run).
    first = lambda: squeeze(j.text(Rect(table.x, table.y, table.w - 44, 46)))
    j.wait('row 0 with the new count',
           lambda: squeeze(row[2]) in first() and squeeze(row[3]) in first())
    j.record('Review: previous counts, the re-analysis first')

    j.step('a count whose second raw image is damaged, on the stick')
    j.touch(REVIEW, 'BUTTON_REVIEW_IMAGE')
    reanalyse(j, 'SAMPLES', 'Damaged_run')
    box = j.expect_message('02_RAW.tif: damaged', 'left out', timeout=30)
    j.record('Count: a damaged raw image left out')
    j.answer(box, 'OK')
    j.wait_menu('COUNT')
    row = rows(j)[-1]
    j.check(len(row) == 6 + 2 * 4 and row[8:10] == ['', ''] and row[6] != '',
            'the row of the damaged count is %r' % row)
