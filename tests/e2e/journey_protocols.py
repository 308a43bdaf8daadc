# Protocols: a new protocol made from "Yeast" with the steppers and named on the on-screen
# keyboard, loaded (the title bar shows it), then deleted (back to DEFAULT).

from driver.forms import MENU, Form
from driver.journey import Journey

PROTOCOL = Form('protocol/ProtocolFrame.ui', MENU)
SAVE_AS = Form('protocol/SaveAsDlg.ui')
NAME = 'Bakers-2'
FILE = '/root/ORBELIN_Vn/Protocol/%s.ini' % NAME


def shows_values(j, dilution, roundness):
    return [j.line(PROTOCOL.rect('LABEL_' + k).inset(6), scale=1)
            for k in ('DILUTION_FACTOR', 'ROUNDNESS')] == [dilution, roundness]


def current(j):
    return j.instrument.ini('Current Protocol', 'Name')


with Journey('protocols') as j:
    j.step('select Yeast in the Protocol menu, unlock the steppers and step two values')
    j.start()
    j.open('PROTOCOL')
    protocol_list = PROTOCOL.rect('LIST')
    yeast = j.wait_word(protocol_list, 'Yeast')
    j.record('Protocol menu')
    j.tap(yeast.centre())
    j.wait('the values of Yeast', lambda: shows_values(j, '10', '60'))
    for button in ('EDIT', 'DILUTION_FACTOR_UP', 'ROUNDNESS_UP', 'ROUNDNESS_UP'):
        j.touch(PROTOCOL, 'BUTTON_' + button)
    j.wait('the stepped values', lambda: shows_values(j, '20', '62'))
    j.record('Protocol menu: values stepped after EDIT')

    j.step('save it under a new name typed on the on-screen keyboard')
    j.touch(PROTOCOL, 'BUTTON_SAVE_AS')
    dialog = j.wait_dialog(SAVE_AS)
    field = SAVE_AS.rect('EDIT_FILENAME', dialog).inset(4)
    field.w -= 40       # the clear button
    j.wait('the selected name in the field', lambda: j.field_text(field) == 'Yeast')
    keyboard = j.keyboard(SAVE_AS, dialog)
    for _ in 'Yeast':
        keyboard.key('BUTTON_BACKSPACE')
    keyboard.type(NAME)
    j.wait('the typed name in the field', lambda: j.field_text(field) == NAME)
    j.record('Protocol name dialog with its keyboard')
    keyboard.key('BUTTON_ENTER')
    j.wait_gone(dialog)
    j.wait('the protocol file', lambda: j.instrument.exists(FILE))
    stored = [j.instrument.ini(s, k, FILE) for s, k in (
        ('Dilution Factor', 'Value'), ('Min Cell Size', 'Size'), ('Max Cell Size', 'Size'),
        ('Roundness', 'Value'), ('Declustering Level', 'Level'),
        ('Detection Sensitivity', 'Value'))]
    j.check(stored == ['20', '2', '12', '62', '5', '4'], 'the new protocol file holds %r' % stored)
    j.check(j.instrument.ini('Dilution Factor', 'Value', '/root/ORBELIN_Vn/Protocol/Yeast.ini')
            == '10', 'saving under a new name changed Yeast')

    j.step('load the new protocol')
    j.tap(j.wait_word(protocol_list, NAME).centre())
    j.wait('the values of the new protocol', lambda: shows_values(j, '20', '62'))
    j.touch(PROTOCOL, 'BUTTON_LOAD')
    box = j.expect_message('has been loaded')
    j.record('Message: protocol loaded')
    j.answer(box, 'OK')
    j.wait('the title bar to show %s' % NAME, lambda: j.title_protocol() == NAME)
    j.check(current(j) == NAME, 'the settings file names %r as current' % current(j))
    j.record('Protocol %s loaded: in the title bar' % NAME)

    j.step('delete it')
    j.touch(PROTOCOL, 'BUTTON_DELETE')
    box = j.expect_message('sure you want to delete')
    j.record('Message: delete the protocol?')
    j.answer(box, 'OK')
    j.wait('the protocol file to go', lambda: not j.instrument.exists(FILE))
    j.wait('the title bar back at DEFAULT', lambda: j.title_protocol() == 'DEFAULT')
    j.check(current(j) == 'DEFAULT', 'the settings file still names %r' % current(j))
    j.wait('the list without %s' % NAME, lambda: j.find_word(protocol_list, NAME) is None)
    j.check(j.find_word(protocol_list, 'Yeast') is not None, 'Yeast went with it')
