"""Software update from a stick: the package of the next version on the stick is found
and installed; Restart ends the program with status 10, and the launcher brings it back
through the new loader as the new version, with the old one archived in the backup.
Then a demo package holding a folder named loader is refused: the installed demo runs
(status 11) and the launcher starts the program again through "/root/loader"."""

import os
import shutil
import tarfile

from driver.forms import MENU_ORIGIN, Form
from driver.image import Rect
from driver.instrument import program_name
from driver.journey import Journey
from driver.paths import BINARY_DIR, STANDINS_DIR

SETTINGS = Form('settings/SettingsFrame.ui')
UPDATE = Form('update/SoftwareUpdateDialog.ui')
WHITE = (255, 255, 255)


def dotted(name):
    return name[len('ORBELIN_Vn_'):].replace('_', '.')


def press(j, dialog, word):
    """Touches the update dialog's button that reads the word (white buttons, which the
    dialog moves about as it goes)."""
    button = UPDATE.rect('BUTTON_OK', (dialog.rect.x, dialog.rect.y))
    band = Rect(dialog.rect.x, button.y + 8, dialog.rect.w, button.h - 16)
    found = j.wait('the button %s' % word,
                   lambda: j.buttons(button.y + 4, band, WHITE).get(word.upper()))
    j.tap(found.centre())


def loader(j):
    """The file "/root/loader" points at."""
    return os.path.basename(os.readlink(j.instrument.path('/root/loader')))


def message(j, dialog):
    return j.text(UPDATE.rect('LABEL_MESSAGE', (dialog.rect.x, dialog.rect.y)))


with Journey('update') as j:
    old = program_name()
    with open(os.path.join(BINARY_DIR, 'packages', 'next-package-name.txt')) as f:
        new = f.read().strip()[:-len('.ovn')]
    version = SETTINGS.rect('LABEL_SOFTWARE_VERSION', MENU_ORIGIN)

    j.step('the running version')
    j.start(board=True)
    j.wait_menu('COUNT')
    j.tap_tab('SETTINGS')
    j.wait_menu('SETTINGS')
    j.wait('the version %s' % dotted(old),
           lambda: j.text(version, single_line=True) == dotted(old))

    j.step('find the package on the stick and install it')
    j.tap_widget(SETTINGS, 'BUTTON_UPDATE_SOFTWARE')
    dialog = j.wait_dialog('the software update dialog', size=(UPDATE.size.w, UPDATE.size.h))
    j.record('Software update')
    press(j, dialog, 'Start')
    j.wait('the offer of the package', lambda: 'has been found' in message(j, dialog))
    j.record('Software update: a package found')
    press(j, dialog, 'OK')
    j.wait('the update to complete', lambda: 'Complete' in message(j, dialog), timeout=45)
    j.record('Software update complete')

    j.step('Restart: the launcher brings the new version')
    press(j, dialog, 'Restart')
    j.wait('the restart through the launcher',
           lambda: j.instrument.statuses() == [10] and 'loader %s: starting' % dotted(new)
           in j.instrument.log(), timeout=30)
    j.wait_started()
    j.wait_menu('COUNT')
    j.tap_tab('SETTINGS')
    j.wait_menu('SETTINGS')
    j.wait('the version %s' % dotted(new),
           lambda: j.text(version, single_line=True) == dotted(new))
    j.record('Settings after the update: the new version')
    j.check(loader(j) == 'loader_' + new[len('ORBELIN_Vn_'):], '/root/loader is not the new loader')
    j.check(j.instrument.exists('/root/ORBELIN_Vn/' + new), 'the new program is not installed')
    j.check(j.instrument.ini('Software version', 'Value') == dotted(new),
            'the settings file records the version %r'
            % j.instrument.ini('Software version', 'Value'))

    j.step('the old version is in the backup')
    backup = j.instrument.path('/root/restore/%s.ovn' % old)
    j.check(os.path.exists(backup), 'no backup %s' % backup)
    with tarfile.open(backup) as archive:
        names = archive.getnames()
        j.check(any(n.rstrip('/').endswith('ORBELIN_Vn/' + old) or n == old for n in names),
                'the backup holds %r' % names)

    j.step('a demo package with a folder named loader, over an installed demo')
    demo = os.path.join(STANDINS_DIR, 'demo', 'ORBELIN_Vn-demo')
    shutil.copy(demo, j.instrument.path('/root/ORBELIN_Vn/ORBELIN_Vn-demo'))
    with tarfile.open(j.instrument.path('/media/SAMPLES/ORBELIN_Vn-Demo.ovn'), 'w:gz') as package:
        package.add(demo, 'ORBELIN_Vn-demo')
        package.add(demo, 'loader/ORBELIN_Vn-demo')
    j.tap_widget(SETTINGS, 'EDIT_DAY')
    for key in ('BUTTON_KEY_9', 'BUTTON_KEY_2'):
        j.tap_widget(SETTINGS, key)
    j.tap_widget(SETTINGS, 'BUTTON_SET_DATE_TIME')
    j.answer(j.wait_message(), 'OK')
    j.wait('the demo program and the program again through the launcher',
           lambda: j.instrument.statuses() == [10, 11]
           and 'demo program stand-in: running' in j.instrument.log(), timeout=30)
    j.wait_started()
    j.wait_menu('COUNT')
    j.check(loader(j) == 'loader_' + new[len('ORBELIN_Vn_'):], '/root/loader was replaced')
