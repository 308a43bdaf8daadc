# Wi-Fi: a secured network joined from the Wi-Fi options after a wrong key was refused; the
# title bar's Wi-Fi icon goes from off to on, and the network is saved with its key.

import glob

from driver.forms import Form
from driver.journey import SETTINGS, TITLE, Journey

OPTIONS = Form('network/wireless/WiFiOptionsDialog.ui')
SELECT = Form('network/wireless/SelectNetworkDialog.ui')
KEY = Form('network/wireless/ConnectAPDlg.ui')
KEYBOARD = Form('keyboard/KeyboardDialog.ui')


def wifi_off_in_title(j):
    # The off icon carries a red slash; the on icon has no red.
    return sum(1 for r, g, b in j.shot().pixels(TITLE.rect('WIFI_DISABLED'))
               if r > 150 and g < 100 and b < 100) > 20


def give_key(j, key, confirm, erase=0):
    # Touches the key field, types on the floating keyboard (after erasing what the field
    # still holds: a key asked again keeps the wrong one), confirms with ENTER or OK.
    box = j.wait_dialog(KEY)
    j.touch(KEY, 'EDIT_PASSWORD', box)
    floating = j.wait_dialog(KEYBOARD)
    keyboard = j.keyboard(KEYBOARD, floating)
    for _ in range(erase):
        keyboard.key('BUTTON_BACKSPACE')
    keyboard.type(key)
    j.record('Wi-Fi key dialog with the floating keyboard')
    if confirm == 'ENTER':
        keyboard.key('BUTTON_ENTER')
    else:
        j.touch(KEYBOARD, 'BUTTON_CLOSE', floating)
        j.wait_gone(floating)
        j.touch(KEY, 'BUTTON_OK', box)
    j.wait_gone(box, timeout=20)


with Journey('wifi') as j:
    j.step('the title bar shows Wi-Fi off; switch Wi-Fi on and pick a secured network')
    j.start()
    j.check(wifi_off_in_title(j), 'the title bar does not show Wi-Fi off')
    j.open('SETTINGS')
    j.touch(SETTINGS, 'BUTTON_WIFI_OPTIONS')
    options = j.wait_dialog(OPTIONS)
    j.record('Wi-Fi options')
    j.touch(OPTIONS, 'BUTTON_WIFI_ENABLE')
    select = j.wait_dialog(SELECT)
    labnet = j.wait_word(SELECT.rect('LV_NETWORKS', select), 'LabNet', timeout=20)
    j.record('Wi-Fi network selection')
    j.tap(labnet.centre())
    j.touch(SELECT, 'BUTTON_OK', select)
    j.wait_gone(select)

    j.step('a wrong key is refused and asked again')
    give_key(j, 'wrongkey1', 'ENTER')
    again = j.wait_dialog(KEY, timeout=30)
    j.wait('"Password incorrect"',
           lambda: j.shows(KEY.rect('LABEL_MESSAGE', again), 'Password incorrect'))
    j.record('Wi-Fi key dialog: password incorrect')

    j.step('the right key joins the network')
    give_key(j, 'cellcount', 'OK', erase=len('wrongkey1'))
    j.wait('the address in the Wi-Fi options',
           lambda: j.shows(OPTIONS.rect('LABEL_IP_ADDRESS'), '192.168.10.57'), timeout=40)
    j.record('Wi-Fi options: joined')
    saved = glob.glob(j.instrument.path('/root/.AppData/Network/Settings/AP/*.ini'))
    j.check(len(saved) == 1, 'saved access points: %r' % saved)
    with open(saved[0]) as f:
        text = f.read()
    j.check('cellcount' in text and 'LabNet' in text and 'wrongkey1' not in text,
            'the saved access point reads %r' % text)

    j.step('close the options: the title bar shows Wi-Fi on')
    j.touch(OPTIONS, 'BUTTON_CLOSE')
    j.wait_gone(options)
    j.wait('the title bar to show Wi-Fi on', lambda: not wifi_off_in_title(j))
    j.record('Title bar: Wi-Fi on')
