# Software update from a stick: the package of the next version on the stick is found and
# installed; Restart ends the program with status 10, and the launcher brings it back through
# the new loader as the new version, with the old one archived in the backup. Then a demo
# package holding a folder named loader is refused: the installed demo runs (status 11) and
# the launcher starts the program again through "/root/loader".

import os
import shutil
import tarfile

from driver.forms import Form
from driver.image import Rect
from driver.instrument import program_name
from driver.journey import SETTINGS, Journey
from driver.paths import BINARY_DIR, STANDINS_DIR

UPDATE = Form('update/SoftwareUpdateDialog.ui')


def press(j, dialog, word):
    # Touches the update dialog's button that reads the word (white buttons, which the
    # dialog moves about as it goes).
    button = UPDATE.rect('BUTTON_OK', dialog)
    band = Rect(dialog.rect.x, button.y + 8, dialog.rect.w, button.h - 16)
    j.tap(j.wait('the button ' + word, lambda: j.buttons(button.y + 4, band, (255, 255, 255))
                 .get(word.upper())).centre())


def wait_version(j, name):
    j.open('SETTINGS')
    j.wait('the version ' + dotted(name),
           lambda: j.line(SETTINGS.rect('LABEL_SOFTWARE_VERSION')) == dotted(name))


def dotted(name):
    return name[len('ORBELIN_Vn_'):].replace('_', '.')


def check_loader(j):
    link = os.path.basename(os.readlink(j.instrument.path('/root/loader')))
    j.check(link == 'loader_' + new[len('ORBELIN_Vn_'):], '/root/loader points at ' + link)


with Journey('update') as j:
    old = program_name()
    with open(os.path.join(BINARY_DIR, 'packages', 'next-package-name.txt')) as f:
        new = f.read().strip()[:-len('.ovn')]

    j.step('find the package on the stick and install it')
    j.start()
    wait_version(j, old)
    j.touch(SETTINGS, 'BUTTON_UPDATE_SOFTWARE')
    dialog = j.wait_dialog(UPDATE)
    j.record('Software update')
    message = lambda: j.text(UPDATE.rect('LABEL_MESSAGE', dialog))
    press(j, dialog, 'Start')
    j.wait('the offer of the package', lambda: 'has been found' in message())
    j.record('Software update: a package found')
    press(j, dialog, 'OK')
    j.wait('the update to complete', lambda: 'Complete' in message(), timeout=90)
    j.record('Software update complete')

    j.step('Restart: the launcher brings the new version')
    press(j, dialog, 'Restart')
    j.wait('the restart through the launcher', lambda: j.instrument.statuses() == [10]
           and 'loader %s: starting' % dotted(new) in j.instrument.log(), timeout=60)
    j.wait_started()
    wait_version(j, new)
    j.record('Settings after the update: the new version')
    check_loader(j)
    j.check(j.instrument.exists('/root/ORBELIN_Vn/' + new), 'the new program is not installed')
    recorded = j.instrument.ini('Software version', 'Value')
    j.check(recorded == dotted(new), 'the settings file records the version %r' % recorded)
    with tarfile.open(j.instrument.path('/root/restore/%s.ovn' % old)) as archive:
        names = archive.getnames()
    j.check(any(n.rstrip('/').endswith('ORBELIN_Vn/' + old) or n == old for n in names),
            'the backup holds %r' % names)

    j.step('a demo package with a folder named loader, over an installed demo')
    demo = os.path.join(STANDINS_DIR, 'demo', 'ORBELIN_Vn-demo')
    shutil.copy(demo, j.instrument.path('/root/ORBELIN_Vn/ORBELIN_Vn-demo'))
    with tarfile.open(j.instrument.path('/media/SAMPLES/ORBELIN_Vn-Demo.ovn'), 'w:gz') as package:
        package.add(demo, 'ORBELIN_Vn-demo')
        package.add(demo, 'loader/ORBELIN_Vn-demo')
    j.set_date('92')
    j.answer(j.expect_message(), 'OK')
    j.wait('the demo program and the program again through the launcher',
           lambda: j.instrument.statuses() == [10, 11]
           and 'demo program stand-in: running' in j.instrument.log(), timeout=60)
    j.wait_started()
    check_loader(j)
