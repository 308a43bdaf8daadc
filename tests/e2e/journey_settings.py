"""Settings: a date that does not exist is refused; a date and time typed on the settings
screen's key pad reach date and hwclock; the calibration debug switch (day 93) makes its
folder and takes it away again; day 91 ends the program with status 1 for the launcher."""

from driver.forms import Form
from driver.image import squeeze
from driver.journey import Journey

SETTINGS = Form('settings/SettingsFrame.ui')
FOLDER = '/ORBELIN/Calibration'


def type_into(j, edit, digits):
    j.tap_widget(SETTINGS, edit)
    for digit in digits:
        j.tap_widget(SETTINGS, 'BUTTON_KEY_' + digit)


def type_date(j, day, month, year, hour, minute):
    for edit, digits in (('EDIT_DAY', day), ('EDIT_MONTH', month), ('EDIT_YEAR', year),
                         ('EDIT_HOUR', hour), ('EDIT_MINUTE', minute)):
        type_into(j, edit, digits)


def message_after_set(j, words):
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    box = j.wait_message()
    text = j.message_text(box)
    j.check(squeeze(words) in squeeze(text), 'the message says %r, not %r' % (text, words))
    return box


with Journey('settings') as j:
    j.step('start with the board and open the Settings menu')
    j.start(board=True)
    j.wait_menu('COUNT')
    j.tap_tab('SETTINGS')
    j.wait_menu('SETTINGS')
    j.record('Settings menu')

    j.step('31 April is refused and no clock is touched')
    type_date(j, '31', '04', '2030', '10', '15')
    box = message_after_set(j, 'The date you specified does not exist')
    j.record('Message: the date does not exist')
    j.answer(box, 'OK')
    j.check(not j.instrument.calls('date'), 'date ran for a date that does not exist')

    j.step('5 September 2030, 7:03 sets the system clock and the hardware clock')
    type_date(j, '05', '09', '2030', '07', '03')
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.wait('the call of hwclock', lambda: j.instrument.calls('hwclock'))
    j.check(j.instrument.calls('date') == [['--set=2030/9/5 7:3:00']],
            'date was called as %r' % j.instrument.calls('date'))
    j.check(j.instrument.calls('hwclock') == [['--systohc']],
            'hwclock was called as %r' % j.instrument.calls('hwclock'))
    j.check(not j.dialogs(), 'a message came up after the clocks were set')

    j.step('day 93 switches the calibration debug images on')
    type_into(j, 'EDIT_DAY', '93')
    box = message_after_set(j, 'Debug Calibration enabled')
    j.record('Message: calibration debug images on')
    j.answer(box, 'OK')
    j.check(j.instrument.exists(FOLDER), '%s was not made' % FOLDER)
    j.check(j.instrument.ini('Debug Mode', 'Calibration') == '1',
            'Debug Mode Calibration is %r' % j.instrument.ini('Debug Mode', 'Calibration'))

    j.step('day 93 again switches them off and removes the folder')
    type_into(j, 'EDIT_DAY', '93')
    box = message_after_set(j, 'Debug Calibration disabled')
    j.answer(box, 'OK')
    j.check(not j.instrument.exists(FOLDER), '%s is still there' % FOLDER)
    j.check(j.instrument.exists('/ORBELIN'), 'the data folder went with it')

    j.step('day 91 ends the program with status 1')
    type_into(j, 'EDIT_DAY', '91')
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.check(j.wait_exit() == 1, 'the launcher ended with %s, not 1' % j.instrument.status)
    j.check(j.instrument.statuses() == [1], 'the launcher saw the statuses %r'
            % j.instrument.statuses())
