"""Security mode: switched on with the factory password, it locks the review and protocol
buttons and the date and time controls, and stays on after a restart; the password is
changed and only the new one switches it off; then the date and time controls work
again and reach the fake date and hwclock."""

from driver.forms import MENU_ORIGIN, Form
from driver.journey import Journey

SETTINGS = Form('settings/SettingsFrame.ui')
SECURITY = Form('security/SecurityOptionsDialog.ui')
PASSWORD = Form('security/PasswordDialog.ui')
CHANGE = Form('security/PasswordChangeDialog.ui')
KEYS = Form('keyboard/ExKeyboardDialog.ui')
REVIEW = Form('review/ReviewFrame.ui')
PROTOCOL = Form('protocol/ProtocolFrame.ui')

REVIEW_LOCKED = ['BUTTON_CUT', 'BUTTON_COPY', 'BUTTON_PASTE', 'BUTTON_DELETE']
PROTOCOL_LOCKED = ['BUTTON_EDIT', 'BUTTON_SAVE_AS', 'BUTTON_DELETE']
DATE_LOCKED = ['BUTTON_SET_DATE_TIME', 'BUTTON_KEY_1', 'BUTTON_KEY_0']


def size(form):
    return (form.size.w, form.size.h)


def type_password(j, field, text):
    """Touches a password field and types on the keyboard dialog it opens."""
    j.tap(field.centre())
    keys = j.wait_dialog('the on-screen keyboard', size=size(KEYS))
    keyboard = j.keyboard(KEYS.rect('Keyboard', (keys.rect.x, keys.rect.y)))
    keyboard.type(text)
    j.record('Keyboard dialog in password mode')
    keyboard.key('BUTTON_ENTER')
    j.wait_gone(keys)


def security_dialog(j):
    j.tap_widget(SETTINGS, 'BUTTON_SECURITY_OPTIONS')
    return j.wait_dialog('the security options', size=size(SECURITY))


def switch_security(j, password, wrong=None):
    """Touches the security switch and answers the password dialog."""
    j.tap(SECURITY.centre('BUTTON_SECURITY_ENABLE'))
    box = j.wait_dialog('the password dialog', size=size(PASSWORD))
    origin = (box.rect.x, box.rect.y)
    field = PASSWORD.rect('EDIT_PASSWORD', origin)
    if wrong:
        type_password(j, field, wrong)
        j.tap(PASSWORD.centre('BUTTON_OK', origin))
        message = PASSWORD.rect('LABEL_MESSAGE', origin)
        j.wait('the wrong password refused', lambda: j.shows(message, 'Incorrect password'))
        j.record('Password dialog: a wrong password')
    type_password(j, field, password)
    j.tap(PASSWORD.centre('BUTTON_OK', origin))
    j.wait_gone(box)


def locks(j, locked):
    """Checks the review, protocol and settings screens against security mode."""
    for tab, form, names in (('REVIEW', REVIEW, REVIEW_LOCKED),
                             ('PROTOCOL', PROTOCOL, PROTOCOL_LOCKED),
                             ('SETTINGS', SETTINGS, DATE_LOCKED)):
        j.tap_tab(tab)
        j.wait_menu(tab)
        if tab == 'REVIEW':
            j.tap_widget(REVIEW, 'BUTTON_REVIEW_IMAGE')
        j.wait('%s %s' % (tab, 'locked' if locked else 'unlocked'),
               lambda: all(j.looks_enabled(form.rect(n, MENU_ORIGIN)) != locked for n in names))
        if locked:
            j.record('Security mode: %s locked' % tab.capitalize())


with Journey('security') as j:
    j.step('security mode on with the factory password')
    j.start(board=True)
    j.wait_menu('COUNT')
    locks(j, False)
    j.record('Settings menu')
    dialog = security_dialog(j)
    j.record('Security options')
    switch_security(j, 'mavek')

    j.step('change the password')
    j.tap(SECURITY.centre('BUTTON_PASSWORD_CHANGE'))
    box = j.wait_dialog('the password change dialog', size=size(CHANGE))
    origin = (box.rect.x, box.rect.y)
    for field, text in (('EDIT_PASSWORD', 'mavek'), ('EDIT_NEW', 'Lab42'),
                        ('EDIT_CONFIRM', 'Lab42')):
        type_password(j, CHANGE.rect(field, origin), text)
    j.record('Password change dialog')
    j.tap(CHANGE.centre('BUTTON_OK', origin))
    j.wait_gone(box)
    j.check(j.instrument.ini('Security', 'Password') == 'Lab42',
            'the settings file holds the password %r' % j.instrument.ini('Security', 'Password'))
    j.tap(SECURITY.centre('BUTTON_CLOSE'))
    j.wait_gone(dialog)
    j.check(j.instrument.ini('Security', 'Enable') == 'True', 'security mode was not stored')

    j.step('the screens are locked')
    locks(j, True)
    j.tap(SETTINGS.centre('EDIT_DAY', MENU_ORIGIN))
    j.tap_widget(SETTINGS, 'BUTTON_KEY_1')
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.tap_tab('REVIEW')
    j.wait_menu('REVIEW')
    j.check(not j.instrument.calls('date'), 'the locked date controls set the clock')

    j.step('security mode survives a restart')
    j.key('q')
    j.check(j.wait_exit() == 1, 'Q ended with %s' % j.instrument.status)
    j.start()
    j.wait_menu('COUNT')
    locks(j, True)

    j.step('security mode off again, with the new password only')
    dialog = security_dialog(j)
    switch_security(j, 'Lab42', wrong='mavek')
    j.tap(SECURITY.centre('BUTTON_CLOSE'))
    j.wait_gone(dialog)
    j.check(j.instrument.ini('Security', 'Enable') == 'False', 'security mode stayed on')
    locks(j, False)

    j.step('set the date and time')
    for edit, digits in (('EDIT_DAY', '14'), ('EDIT_MONTH', '03'), ('EDIT_YEAR', '2027'),
                         ('EDIT_HOUR', '09'), ('EDIT_MINUTE', '07')):
        j.tap(SETTINGS.centre(edit, MENU_ORIGIN))
        for digit in digits:
            j.tap_widget(SETTINGS, 'BUTTON_KEY_' + digit)
    minute = SETTINGS.rect('EDIT_MINUTE', MENU_ORIGIN).inset(4)
    j.wait('the typed minute', lambda: j.text(minute, single_line=True, scale=2) == '07')
    j.record('Settings: date and time typed on the key pad')
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.wait('the clock programs', lambda: j.instrument.calls('hwclock'))
    j.check(j.instrument.calls('date') == [['--set=2027/3/14 9:7:00']],
            'date was called as %r' % j.instrument.calls('date'))
    j.check(j.instrument.calls('hwclock') == [['--systohc']],
            'hwclock was called as %r' % j.instrument.calls('hwclock'))
