"""Stopping: the key Q ends the program at once with status 1 for the launcher; the power
button asks first, does nothing on CANCEL, and on OK starts "shutdown -P now"."""

from driver.forms import Form
from driver.journey import TABS, Journey

TITLE = Form('app/Dialog.ui')

with Journey('stopping') as j:
    j.step('the key Q ends the program with status 1')
    j.start(board=True)
    j.wait_menu('COUNT')
    j.key('q')
    j.check(j.wait_exit() == 1, 'the launcher ended with %s, not 1' % j.instrument.status)
    j.check(j.instrument.statuses() == [1], 'the launcher saw the statuses %r'
            % j.instrument.statuses())

    j.step('the power button asks; CANCEL keeps the instrument on')
    j.start()
    j.wait_menu('COUNT')
    j.tap(TITLE.centre('BUTTON_POWER'))
    box = j.wait_message()
    j.check('turn off the instrument' in j.message_text(box),
            'the power button asked %r' % j.message_text(box))
    j.record('Message: turn off the instrument?')
    j.answer(box, 'CANCEL')
    j.wait('the tabs live again', lambda: all(j.tab(t)[1] for t in TABS))

    j.step('OK starts the shutdown')
    j.tap(TITLE.centre('BUTTON_POWER'))
    box = j.wait_message()
    j.answer(box, 'OK')
    j.wait('the call of shutdown', lambda: j.instrument.calls('shutdown'))
    j.check(j.instrument.calls('shutdown') == [['-P', 'now']],
            'shutdown was called as %r (once, after OK, is right)'
            % j.instrument.calls('shutdown'))
    j.wait('every tab off while the instrument goes down',
           lambda: not any(j.tab(t)[1] for t in TABS))
    j.check(j.instrument.running(), 'the program ended by itself after the shutdown call')
    j.record('Power off: shutdown started, tabs off')
