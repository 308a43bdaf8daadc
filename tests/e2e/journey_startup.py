# Start-up: without a controller board the program says so, opens the Review menu and leaves
# COUNT off; with the board it opens the Count menu with every tab live.

from driver.journey import TABS, Journey

with Journey('startup') as j:
    j.step('start without a board')
    j.start(board=False, menu=None)
    box = j.expect_message('controller board does not answer')
    j.record('No board: the serial-communication message')
    j.check(list(j.message_buttons(box)) == ['OK'], 'the serial message offers only OK')

    j.step('the Review menu behind it, COUNT disabled')
    j.answer(box, 'OK')
    j.wait_menu('REVIEW')
    tabs = [j.tab(t) for t in TABS]
    j.check(tabs == [(False, False), (True, True), (False, True), (False, True)],
            'COUNT, REVIEW, PROTOCOL, SETTINGS are (checked, enabled) %r' % tabs)
    j.record('No board: the Review menu, COUNT disabled')
    j.check(j.instrument.board_lines() == [], 'something answered as a board')

    j.step('stop with the key Q, start again with the board')
    j.key('q')
    j.expect_exit(1)
    j.instrument.board = True
    j.instrument.stop_standins()
    j.start(board=True)
    j.wait('every tab enabled', lambda: all(j.tab(t)[1] for t in TABS))
    j.check(not j.dialogs(), 'a message box came up although the board answers: %r' % j.dialogs())
    lines = j.instrument.board_lines()
    j.check({'$A#VER', '$X#STAGE INIT', '$Z#STAGE INIT'} <= set(lines),
            'the board did not receive its start-up commands: %r' % lines)
    j.check(j.title_protocol() == 'DEFAULT', 'the title bar shows %r' % j.title_protocol())
    j.record('With the board: the Count menu')
