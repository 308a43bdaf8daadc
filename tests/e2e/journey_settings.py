# Settings: a date that does not exist is refused; a date and time typed on the settings
# screen's key pad reach date and hwclock; the calibration debug switch (day 93) makes its
# folder and takes it away again; day 91 ends the program with status 1 for the launcher.

from driver.journey import Journey

FOLDER = '/ORBELIN/Calibration'


with Journey('settings') as j:
    j.step('31 April is refused and no clock is touched')
    j.start()
    j.open('SETTINGS')
    j.record('Settings menu')
    j.set_date('31', '04', '2030', '10', '15')
    box = j.expect_message('The date you specified does not exist')
    j.record('Message: the date does not exist')
    j.answer(box, 'OK')
    j.check_calls('date', [])

    j.step('5 September 2030, 7:03 sets the system clock and the hardware clock')
    j.set_date('05', '09', '2030', '07', '03')
    j.wait('the call of hwclock', lambda: j.instrument.calls('hwclock'))
    j.check_calls('date', [['--set=2030/9/5 7:3:00']])
    j.check_calls('hwclock', [['--systohc']])
    j.check(not j.dialogs(), 'a message came up after the clocks were set')

    j.step('day 93 switches the calibration debug images on, then off')
    j.set_date('93')
    box = j.expect_message('Debug Calibration enabled')
    j.record('Message: calibration debug images on')
    j.answer(box, 'OK')
    j.check(j.instrument.exists(FOLDER), '%s was not made' % FOLDER)
    j.check(j.instrument.ini('Debug Mode', 'Calibration') == '1', 'debug mode was not stored')
    j.set_date('93')
    j.answer(j.expect_message('Debug Calibration disabled'), 'OK')
    j.check(not j.instrument.exists(FOLDER), '%s is still there' % FOLDER)
    j.check(j.instrument.exists('/ORBELIN'), 'the data folder went with it')

    j.step('day 91 ends the program with status 1')
    j.set_date('91')
    j.expect_exit(1)
