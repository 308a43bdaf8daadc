#include "MouseCursorSelector.h"
#include "TestRoot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

class MouseCursorSelectorTest : public QObject
{
    Q_OBJECT

private:
    static Qt::CursorShape cursor()
    {
        const QCursor *c = QApplication::overrideCursor();
        return c ? c->shape() : Qt::CustomCursor;
    }

    // udev's entries are symbolic links to the event devices, dangling inside a test root.
    static bool plug(const TestRoot &root, const QString &entry)
    {
        return QFile::link(QStringLiteral("../event7"), root.path("/dev/input/by-id/" + entry));
    }

private Q_SLOTS:
    void cleanup()
    {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // udev removes by-id with the last input device and makes it anew with the next one.
    void cursorFollowsMouse()
    {
        TestRoot root;
        QVERIFY(root.mkdir("/dev/input"));
        MouseCursorSelector selector;
        QCOMPARE(cursor(), Qt::BlankCursor);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(root.mkdir("/dev/input/by-id"));
            // Keyboards, touch screens and a mouse's legacy node stay when the mouse goes.
            for (const char *entry : {"usb-Dell-event-kbd", "usb-eGalax-event-if00", "usb-Logitech-mouse"})
                QVERIFY(round || plug(root, entry));
            QVERIFY(plug(root, "usb-Logitech-event-mouse"));
            QTRY_COMPARE_WITH_TIMEOUT(cursor(), Qt::ArrowCursor, 10000);
            QVERIFY(selector.mouseAttached());
            if (round == 0)
                QVERIFY(QFile::remove(root.path("/dev/input/by-id/usb-Logitech-event-mouse")));
            else
                QVERIFY(QDir(root.path("/dev/input/by-id")).removeRecursively());
            QTRY_COMPARE_WITH_TIMEOUT(cursor(), Qt::BlankCursor, 10000);
            QVERIFY(!selector.mouseAttached());
        }
        // One override cursor at a time, not a growing stack.
        QApplication::restoreOverrideCursor();
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(MouseCursorSelectorTest)
#include "tst_MouseCursorSelector.moc"
