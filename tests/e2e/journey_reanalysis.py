"""Re-analysis: a saved count picked in the Review menu is counted again from its raw
images; the Count menu shows the totals and the new results-log row is row 0 of the
previous counts. A count with a damaged raw image names it and counts the rest."""

from driver.forms import MENU_ORIGIN, Form
from driver.image import Rect, squeeze
from driver.journey import Journey

REVIEW = Form('review/ReviewFrame.ui')
COUNT = Form('count/CountFrame.ui')
LOG = '/root/ORBELIN_Vn/CountingResults.csv'


def rows(j):
    return [line for line in (j.instrument.read(LOG, '') or '').split('\n')[1:] if line]


def open_folder(j, *names):
    """Opens the tree down to the last name (each touch of a folder opens or closes it)."""
    tree = REVIEW.rect('FILE', MENU_ORIGIN)
    for name in names:
        entry = j.wait_word(tree, name, timeout=20)
        j.tap(entry.centre())
    return entry


def count_value(j, label):
    return j.text(COUNT.rect(label, MENU_ORIGIN).inset(2), single_line=True)


with Journey('reanalysis') as j:
    j.step('start with the board and open the Review menu')
    j.start(board=True)
    j.wait_menu('COUNT')
    before = rows(j)
    j.tap_tab('REVIEW')
    j.wait_menu('REVIEW')

    j.step('pick the saved count Yeast_camera')
    open_folder(j, 'ORBELIN', 'Yeast_camera')
    totals = REVIEW.rect('LABEL_TOTAL_CELLS', MENU_ORIGIN)
    j.wait('the saved totals', lambda: j.text(totals, single_line=True).strip() != '')
    j.record('Review: the saved count Yeast_camera')

    j.step('RE-ANALYSIS')
    j.tap_widget(REVIEW, 'BUTTON_RE_ANALYSIS')
    j.wait_menu('COUNT')
    j.wait('the new results-log row', lambda: len(rows(j)) == len(before) + 1, timeout=30)
    row = rows(j)[-1].split(',')
    j.check(row[0] == '' and row[5] == 'DEFAULT' and len(row) == 6 + 2 * 10,
            'the new row is %r' % row)
    cells = int(row[2])
    j.wait('the totals on the Count menu',
           lambda: squeeze(count_value(j, 'LABEL_TOTAL_CELLS')) == str(cells))
    mantissa, exponent = row[3].split('E')
    concentration = squeeze(count_value(j, 'LABEL_TOTAL_CELLS_CONCENTRATION'))
    j.check(concentration == squeeze('%s x 10e%d cells/mL' % (mantissa, int(exponent))),
            'the Count menu shows %r for %r' % (concentration, row[3]))
    j.record('Count: totals of the re-analysis')

    j.step('the new row heads the previous counts')
    j.tap_tab('REVIEW')
    j.wait_menu('REVIEW')
    j.tap_widget(REVIEW, 'BUTTON_PREVIOUS_COUNTS')
    table = REVIEW.rect('TABLEWIDGET_CSV', MENU_ORIGIN)
    # Row 0 holds date and time on two lines; the scroll bar is on the right.
    first = lambda: squeeze(j.text(Rect(table.x, table.y, table.w - 44, 46)))
    # Count and concentration tell the new row from the old row 0; its date and time,
    # which change from run to run, are not read back from the screen.
    j.wait('row 0 with the new count', lambda: squeeze(row[2]) in first()
           and squeeze(row[3]) in first())
    j.record('Review: previous counts, the re-analysis first')

    j.step('a count whose second raw image is damaged, on the stick')
    j.tap_widget(REVIEW, 'BUTTON_REVIEW_IMAGE')
    open_folder(j, 'SAMPLES', 'Damaged_run')
    j.wait('the saved totals', lambda: j.text(totals, single_line=True).strip() != '')
    j.tap_widget(REVIEW, 'BUTTON_RE_ANALYSIS')
    box = j.wait_message(timeout=30)
    text = j.message_text(box)
    j.check(squeeze('02_RAW.tif: damaged') in squeeze(text) and 'left out' in text.lower(),
            'the message says %r' % text)
    j.record('Count: a damaged raw image left out')
    j.answer(box, 'OK')
    j.wait_menu('COUNT')
    row = rows(j)[-1].split(',')
    j.check(len(row) == 6 + 2 * 4 and row[8:10] == ['', ''] and row[6] != '',
            'the row of the damaged count is %r' % row)
