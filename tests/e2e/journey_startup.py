"""Start-up: without a controller board the program says so, opens the Review menu and
leaves COUNT off; with the board it opens the Count menu with every tab live."""

from driver.journey import Journey

with Journey('startup') as j:
    j.step('start without a board')
    j.start(board=False)
    box = j.wait_message()
    j.check(j.main_window() is not None, 'the main window is not on the screen')
    text = j.message_text(box)
    j.check('controller board does not answer' in text.lower(),
            'the message box says %r, not that the board does not answer' % text)
    j.record('No board: the serial-communication message')
    j.check(list(j.message_buttons(box)) == ['OK'], 'the serial message offers only OK')

    j.step('the Review menu behind it, COUNT disabled')
    j.answer(box, 'OK')
    j.wait_menu('REVIEW')
    j.check(j.tab('COUNT') == (False, False), 'COUNT is not disabled without a board')
    for name in ('PROTOCOL', 'SETTINGS'):
        j.check(j.tab(name) == (False, True), '%s is not enabled without a board' % name)
    j.record('No board: the Review menu, COUNT disabled')

    j.check(j.instrument.board_lines() == [], 'something answered as a board')

    j.step('stop with the key Q')
    j.key('q')
    j.check(j.wait_exit() == 1, 'the key Q did not end the program with status 1')

    j.step('start again with the board')
    j.instrument.board = True
    j.instrument.stop_standins()
    j.start(board=True)
    j.wait_menu('COUNT')
    j.wait('every tab enabled', lambda: all(j.tab(t)[1] for t in
                                            ('COUNT', 'REVIEW', 'PROTOCOL', 'SETTINGS')))
    j.check(not j.dialogs(), 'a message box came up although the board answers: %r'
            % j.dialogs())
    lines = j.instrument.board_lines()
    for command in ('$A#VER', '$X#STAGE INIT', '$Z#STAGE INIT'):
        j.check(command in lines, 'the board never received %s (it got %r)' % (command, lines))
    j.check(j.title_protocol() == 'DEFAULT', 'the title bar shows the protocol %r'
            % j.title_protocol())
    j.record('With the board: the Count menu')
