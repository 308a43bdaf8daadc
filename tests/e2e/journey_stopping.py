# Stopping: the key Q ends the program at once with status 1 for the launcher; the power
# button asks first, does nothing on CANCEL, and on OK starts "shutdown -P now".

from driver.journey import TABS, TITLE, Journey

with Journey('stopping') as j:
    j.step('the key Q ends the program with status 1')
    j.start()
    j.key('q')
    j.expect_exit(1)

    j.step('the power button asks; CANCEL keeps the instrument on')
    j.start()
    j.touch(TITLE, 'BUTTON_POWER')
    box = j.expect_message('turn off the instrument')
    j.record('Message: turn off the instrument?')
    j.answer(box, 'CANCEL')
    j.wait('the tabs live again', lambda: all(j.tab(t)[1] for t in TABS))

    j.step('OK starts the shutdown')
    j.touch(TITLE, 'BUTTON_POWER')
    j.answer(j.expect_message(), 'OK')
    j.wait('the call of shutdown', lambda: j.instrument.calls('shutdown'))
    j.check_calls('shutdown', [['-P', 'now']])
    j.wait('every tab off while the instrument goes down',
           lambda: not any(j.tab(t)[1] for t in TABS))
    j.check(j.instrument.running(), 'the program ended by itself after the shutdown call')
    j.record('Power off: shutdown started, tabs off')
