// Stands in for the operator in the end-to-end exit test: installed as the program, it
// builds the main window as the program does, opens the Settings menu, types the next day
// value of "$ORBELIN_ROOT/run/service-days" (one per line, used up one per start) on the
// key pad and presses SET DATE / TIME. main() then returns what the event loop returned,
// as the program's own main() does, so the launcher sees the settings screen's status.
// A run that does not end within 30 s ends with status 3.
#include "Dialog.h"
#include "MessageDlg.h"
#include "Resources.h"
#include "SystemPaths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QString takeDay()
{
    QFile file(SystemPaths::map(QStringLiteral("/run/service-days")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QStringList days = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'),
                                                                 Qt::SkipEmptyParts);
    file.close();
    const QString day = days.isEmpty() ? QString() : days.takeFirst().trimmed();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(days.join(QLatin1Char('\n')).toLatin1());
    return day;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Resources::init();
    const QString day = takeDay();
    Dialog dialog;
    dialog.show();

    bool typed = false;
    QElapsedTimer clock;
    clock.start();
    QTimer hand;
    QObject::connect(&hand, &QTimer::timeout, &dialog, [&]() {
        if (clock.elapsed() > 30000) {
            qWarning("service day driver: no end in time");
            QCoreApplication::exit(3);
            return;
        }
        if (auto *box = qobject_cast<MessageDlg *>(QApplication::activeModalWidget())) {
            qWarning("service day driver: message \"%s\"", qPrintable(box->message()));
            QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("BUTTON_OK")),
                              Qt::LeftButton);
            return;
        }
        if (typed || !dialog.initialized() || day.isEmpty())
            return;
        typed = true;
        // From a fresh event: the messages the action opens are answered by this timer,
        // which does not fire again while its own slot runs.
        QTimer::singleShot(0, &dialog, [&]() {
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("BUTTON_SETTINGS")),
                              Qt::LeftButton);
            QTest::mouseClick(dialog.findChild<QLineEdit *>(QStringLiteral("EDIT_DAY")),
                              Qt::LeftButton);
            for (const QChar digit : day) {
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("BUTTON_KEY_")
                                                                  + digit),
                                  Qt::LeftButton);
            }
            QTest::mouseClick(
                dialog.findChild<QPushButton *>(QStringLiteral("BUTTON_SET_DATE_TIME")),
                Qt::LeftButton);
        });
    });
    hand.start(50);
    return app.exec();
}
