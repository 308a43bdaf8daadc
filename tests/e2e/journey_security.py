# Security mode: switched on with the factory password, it locks the review and protocol
# buttons and the date and time controls, and stays on after a restart; the password is
# changed and only the new one switches it off; then the date and time controls work again
# and reach the fake date and hwclock.

from driver.forms import MENU, Form
from driver.journey import SETTINGS, Journey

SECURITY = Form('security/SecurityOptionsDialog.ui')
PASSWORD = Form('security/PasswordDialog.ui')
CHANGE = Form('security/PasswordChangeDialog.ui')
KEYS = Form('keyboard/ExKeyboardDialog.ui')
LOCKED = {'REVIEW': (Form('review/ReviewFrame.ui', MENU), ('CUT', 'COPY', 'PASTE', 'DELETE')),
          'PROTOCOL': (Form('protocol/ProtocolFrame.ui', MENU), ('EDIT', 'SAVE_AS', 'DELETE')),
          'SETTINGS': (SETTINGS, ('SET_DATE_TIME', 'KEY_1', 'KEY_0'))}


def type_password(j, form, window, field, text):
    # Touches a password field and types on the keyboard dialog it opens.
    j.touch(form, field, window)
    keys = j.wait_dialog(KEYS)
    keyboard = j.keyboard(KEYS, keys)
    keyboard.type(text)
    j.record('Keyboard dialog in password mode')
    keyboard.key('BUTTON_ENTER')
    j.wait_gone(keys)


def switch(j, password, wrong=None):
    # Opens the security options and touches the switch; answers the password dialog.
    j.touch(SETTINGS, 'BUTTON_SECURITY_OPTIONS')
    options = j.wait_dialog(SECURITY)
    j.record('Security options')
    j.touch(SECURITY, 'BUTTON_SECURITY_ENABLE')
    box = j.wait_dialog(PASSWORD)
    for text in ([wrong] if wrong else []) + [password]:
        type_password(j, PASSWORD, box, 'EDIT_PASSWORD', text)
        j.touch(PASSWORD, 'BUTTON_OK', box)
        if text == wrong:
            j.wait('the wrong password refused',
                   lambda: j.shows(PASSWORD.rect('LABEL_MESSAGE', box), 'Incorrect password'))
            j.record('Password dialog: a wrong password')
    j.wait_gone(box)
    return options


def close(j, options, enabled):
    j.touch(SECURITY, 'BUTTON_CLOSE')
    j.wait_gone(options)
    j.check(j.instrument.ini('Security', 'Enable') == enabled, 'security mode is not stored')


def locks(j, locked):
    # Checks the review, protocol and settings screens against security mode.
    for tab, (form, names) in LOCKED.items():
        j.open(tab)
        if tab == 'REVIEW':
            j.touch(form, 'BUTTON_REVIEW_IMAGE')
        j.wait('%s %s' % (tab, 'locked' if locked else 'unlocked'), lambda: all(
            j.looks_enabled(form.rect('BUTTON_' + n)) != locked for n in names))
        if locked:
            j.record('Security mode: %s locked' % tab.capitalize())


with Journey('security') as j:
    j.step('security mode on with the factory password')
    j.start()
    locks(j, False)
    j.record('Settings menu')
    options = switch(j, 'mavek')

    j.step('change the password')
    j.touch(SECURITY, 'BUTTON_PASSWORD_CHANGE')
    box = j.wait_dialog(CHANGE)
    for field, text in (('EDIT_PASSWORD', 'mavek'), ('EDIT_NEW', 'Lab42'),
                        ('EDIT_CONFIRM', 'Lab42')):
        type_password(j, CHANGE, box, field, text)
    j.record('Password change dialog')
    j.touch(CHANGE, 'BUTTON_OK', box)
    j.wait_gone(box)
    j.check(j.instrument.ini('Security', 'Password') == 'Lab42', 'the new password is not stored')
    close(j, options, 'True')

    j.step('the screens are locked, also after a restart')
    locks(j, True)
    j.set_date('1')
    j.open('REVIEW')
    j.check_calls('date', [])
    j.key('q')
    j.expect_exit(1)
    j.start()
    locks(j, True)

    j.step('security mode off again, with the new password only')
    close(j, switch(j, 'Lab42', wrong='mavek'), 'False')
    locks(j, False)

    j.step('set the date and time')
    j.set_date('14', '03', '2027', '09', '07', press=False)
    minute = SETTINGS.rect('EDIT_MINUTE').inset(4)
    j.wait('the typed minute', lambda: j.line(minute, scale=2) == '07')
    j.record('Settings: date and time typed on the key pad')
    j.touch(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.wait('the clock programs', lambda: j.instrument.calls('hwclock'))
    j.check_calls('date', [['--set=2027/3/14 9:7:00']])
    j.check_calls('hwclock', [['--systohc']])
