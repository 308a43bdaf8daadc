// Stands in for the operator and the settings screen in the end-to-end update test:
// installed as the running program, it opens the software update dialog, presses Start,
// OK and Restart as they appear, and ends with status 10 as the settings screen does, so
// that the launcher starts the new version. Any other outcome ends it with status 3.
#include "MediaMonitor.h"
#include "Resources.h"
#include "SoftwareUpdateDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Resources::init();
    MediaMonitor media;
    media.mountAll();

    SoftwareUpdateDialog dialog;
    QElapsedTimer clock;
    clock.start();
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, &dialog, [&]() {
        auto *ok = dialog.findChild<QAbstractButton *>(QStringLiteral("BUTTON_OK"));
        auto *cancel = dialog.findChild<QAbstractButton *>(QStringLiteral("BUTTON_CANCEL"));
        if (clock.elapsed() > 60000) {
            qWarning() << "update driver: no end in time";
            dialog.done(QDialog::Rejected);
            return;
        }
        switch (dialog.messageType()) {
        case InsertUsbDrive:
        case UpdateFound:
        case UpdateComplete:
            if (dialog.isEnabled())
                ok->click();
            break;
        case UpdateNotDetected:
        case UpdateFailure:
            qWarning() << "update driver: the dialog shows" << int(dialog.messageType());
            cancel->click();
            break;
        default:
            break;
        }
    });
    operatorHand.start(50);
    const int result = dialog.exec();
    media.release();
    return result == QDialog::Accepted ? 10 : 3;
}
