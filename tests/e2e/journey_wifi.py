"""Wi-Fi: a secured network joined from the Wi-Fi options after a wrong key was refused;
the title bar's Wi-Fi icon goes from off to on, and the network is saved with its key."""

import glob

from driver.forms import Form
from driver.journey import Journey

TITLE = Form('app/Dialog.ui')
SETTINGS = Form('settings/SettingsFrame.ui')
OPTIONS = Form('network/wireless/WiFiOptionsDialog.ui')
SELECT = Form('network/wireless/SelectNetworkDialog.ui')
KEY = Form('network/wireless/ConnectAPDlg.ui')
KEYBOARD = Form('keyboard/KeyboardDialog.ui')
SAVED = '/root/.AppData/Network/Settings/AP/*.ini'


def size(form):
    return (form.size.w, form.size.h)


def wifi_off_in_title(j):
    """The off icon carries a red slash; the on icon has no red."""
    image = j.shot()
    rect = TITLE.rect('WIFI_DISABLED')
    d = image.crop(rect).data
    red = sum(1 for i in range(0, len(d), 3) if d[i] > 150 and d[i + 1] < 100 and d[i + 2] < 100)
    return red > 20


def give_key(j, key, confirm, erase=0):
    """Answers the key dialog: touch the field, type on the floating keyboard (after
    erasing what the field still holds: a key asked again keeps the wrong one)."""
    box = j.wait_dialog('the key dialog', size=size(KEY))
    origin = (box.rect.x, box.rect.y)
    j.tap(KEY.centre('EDIT_PASSWORD', origin))
    floating = j.wait_dialog('the floating keyboard', size=size(KEYBOARD))
    keyboard = j.keyboard(KEYBOARD.rect('Keyboard', (floating.rect.x, floating.rect.y)))
    for _ in range(erase):
        keyboard.key('BUTTON_BACKSPACE')
    keyboard.type(key)
    j.record('Wi-Fi key dialog with the floating keyboard')
    if confirm == 'ENTER':
        keyboard.key('BUTTON_ENTER')
    else:
        j.tap(KEYBOARD.centre('BUTTON_CLOSE', (floating.rect.x, floating.rect.y)))
        j.wait_gone(floating)
        j.tap(KEY.centre('BUTTON_OK', origin))
    j.wait_gone(box, timeout=20)
    return box


with Journey('wifi') as j:
    j.step('the title bar shows Wi-Fi off')
    j.start(board=True)
    j.wait_menu('COUNT')
    j.check(wifi_off_in_title(j), 'the title bar does not show Wi-Fi off')

    j.step('switch Wi-Fi on and pick a secured network')
    j.tap_tab('SETTINGS')
    j.wait_menu('SETTINGS')
    j.tap_widget(SETTINGS, 'BUTTON_WIFI_OPTIONS')
    options = j.wait_dialog('the Wi-Fi options', size=size(OPTIONS))
    j.record('Wi-Fi options')
    j.tap(OPTIONS.centre('BUTTON_WIFI_ENABLE'))
    select = j.wait_dialog('the network list', size=size(SELECT))
    origin = (select.rect.x, select.rect.y)
    networks = SELECT.rect('LV_NETWORKS', origin)
    labnet = j.wait_word(networks, 'LabNet', timeout=20)
    j.record('Wi-Fi network selection')
    j.tap(labnet.centre())
    j.tap(SELECT.centre('BUTTON_OK', origin))
    j.wait_gone(select)

    j.step('a wrong key is refused and asked again')
    box = give_key(j, 'wrongkey1', 'ENTER')
    again = j.wait_dialog('the key asked again', size=size(KEY), timeout=30)
    message = KEY.rect('LABEL_MESSAGE', (again.rect.x, again.rect.y))
    j.wait('"Password incorrect"', lambda: j.shows(message, 'Password incorrect'))
    j.record('Wi-Fi key dialog: password incorrect')

    j.step('the right key joins the network')
    give_key(j, 'cellcount', 'OK', erase=len('wrongkey1'))
    address = OPTIONS.rect('LABEL_IP_ADDRESS')
    j.wait('the address in the Wi-Fi options', lambda: j.shows(address, '192.168.10.57'),
           timeout=40)
    j.record('Wi-Fi options: joined')
    saved = glob.glob(j.instrument.path(SAVED))
    j.check(len(saved) == 1, 'saved access points: %r' % saved)
    with open(saved[0]) as f:
        text = f.read()
    j.check('cellcount' in text and 'LabNet' in text and 'wrongkey1' not in text,
            'the saved access point reads %r' % text)

    j.step('close the options: the title bar shows Wi-Fi on')
    j.tap(OPTIONS.centre('BUTTON_CLOSE'))
    j.wait_gone(options)
    j.wait('the title bar to show Wi-Fi on', lambda: not wifi_off_in_title(j))
    j.record('Title bar: Wi-Fi on')
