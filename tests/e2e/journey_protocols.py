"""Protocols: a new protocol made from "Yeast" with the steppers and named on the
on-screen keyboard, loaded (the title bar shows it), then deleted (back to DEFAULT)."""

from driver.forms import MENU_ORIGIN, Form
from driver.journey import Journey

PROTOCOL = Form('protocol/ProtocolFrame.ui')
SAVE_AS = Form('protocol/SaveAsDlg.ui')
NAME = 'Bakers-2'
FILE = '/root/ORBELIN_Vn/Protocol/%s.ini' % NAME


def value(j, label):
    return j.text(PROTOCOL.rect(label, MENU_ORIGIN).inset(6), single_line=True, scale=1)


def shows_values(j, **expected):
    return all(value(j, 'LABEL_' + k) == v for k, v in expected.items())


with Journey('protocols') as j:
    j.step('start with the board and open the Protocol menu')
    j.start(board=True)
    j.wait_menu('COUNT')
    j.tap_tab('PROTOCOL')
    j.wait_menu('PROTOCOL')
    protocol_list = PROTOCOL.rect('LIST', MENU_ORIGIN)
    yeast = j.wait_word(protocol_list, 'Yeast')
    j.record('Protocol menu')

    j.step('select Yeast, unlock the steppers and step two values')
    j.tap(yeast.centre())
    j.wait('the values of Yeast', lambda: shows_values(j, DILUTION_FACTOR='10', ROUNDNESS='60'))
    j.tap_widget(PROTOCOL, 'BUTTON_EDIT')
    j.tap_widget(PROTOCOL, 'BUTTON_DILUTION_FACTOR_UP')
    j.tap_widget(PROTOCOL, 'BUTTON_ROUNDNESS_UP')
    j.tap_widget(PROTOCOL, 'BUTTON_ROUNDNESS_UP')
    j.wait('the stepped values', lambda: shows_values(j, DILUTION_FACTOR='20', ROUNDNESS='62'))
    j.record('Protocol menu: values stepped after EDIT')

    j.step('save it under a new name typed on the on-screen keyboard')
    j.tap_widget(PROTOCOL, 'BUTTON_SAVE_AS')
    dialog = j.wait_dialog('the protocol name dialog', size=(SAVE_AS.size.w, SAVE_AS.size.h))
    origin = (dialog.rect.x, dialog.rect.y)
    field = SAVE_AS.rect('EDIT_FILENAME', origin).inset(4)
    field.w -= 40       # the clear button
    j.wait('the selected name in the field', lambda: j.field_text(field) == 'Yeast')
    keyboard = j.keyboard(SAVE_AS.rect('Keyboard', origin))
    for _ in 'Yeast':
        keyboard.key('BUTTON_BACKSPACE')
    keyboard.type(NAME)
    j.wait('the typed name in the field',
           lambda: j.field_text(field) == NAME)
    j.record('Protocol name dialog with its keyboard')
    keyboard.key('BUTTON_ENTER')
    j.wait_gone(dialog)
    j.wait('the protocol file', lambda: j.instrument.exists(FILE))
    stored = {(s, k): j.instrument.ini(s, k, FILE) for s, k in (
        ('Dilution Factor', 'Value'), ('Min Cell Size', 'Size'), ('Max Cell Size', 'Size'),
        ('Roundness', 'Value'), ('Declustering Level', 'Level'),
        ('Detection Sensitivity', 'Value'))}
    j.check(list(stored.values()) == ['20', '2', '12', '62', '5', '4'],
            'the new protocol file holds %r' % stored)
    j.check(j.instrument.ini('Dilution Factor', 'Value',
                             '/root/ORBELIN_Vn/Protocol/Yeast.ini') == '10',
            'saving under a new name changed Yeast')

    j.step('load the new protocol')
    entry = j.wait_word(protocol_list, NAME)
    j.tap(entry.centre())
    j.wait('the values of the new protocol',
           lambda: shows_values(j, DILUTION_FACTOR='20', ROUNDNESS='62'))
    j.tap_widget(PROTOCOL, 'BUTTON_LOAD')
    box = j.wait_message()
    j.check('has been loaded' in j.message_text(box), 'LOAD said %r' % j.message_text(box))
    j.record('Message: protocol loaded')
    j.answer(box, 'OK')
    j.wait('the title bar to show %s' % NAME, lambda: j.title_protocol() == NAME)
    j.check(j.instrument.ini('Current Protocol', 'Name') == NAME,
            'the settings file names %r as current' % j.instrument.ini('Current Protocol', 'Name'))
    j.record('Protocol %s loaded: in the title bar' % NAME)

    j.step('delete it')
    j.tap_widget(PROTOCOL, 'BUTTON_DELETE')
    box = j.wait_message()
    j.check('sure you want to delete' in j.message_text(box),
            'DELETE asked %r' % j.message_text(box))
    j.record('Message: delete the protocol?')
    j.answer(box, 'OK')
    j.wait('the protocol file to go', lambda: not j.instrument.exists(FILE))
    j.wait('the title bar back at DEFAULT', lambda: j.title_protocol() == 'DEFAULT')
    j.check(j.instrument.ini('Current Protocol', 'Name') == 'DEFAULT',
            'the settings file still names %r' % j.instrument.ini('Current Protocol', 'Name'))
    j.wait('the list without %s' % NAME, lambda: j.find_word(protocol_list, NAME) is None)
    j.check(j.find_word(protocol_list, 'Yeast') is not None, 'Yeast went with it')
