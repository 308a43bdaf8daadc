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

    static bool unplug(const TestRoot &root, const QString &entry)
    {
        return QFile::remove(root.path("/dev/input/by-id/" + entry));
    }

private Q_SLOTS:
    void cleanup()
    {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    void findMouse_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("mouse");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("keyboard only") << QStringList{"usb-Dell_Keyboard-event-kbd"} << false;
        QTest::newRow("touch screen") << QStringList{"usb-eGalax_Touch-event-if00"} << false;
        QTest::newRow("mouse") << QStringList{"usb-Logitech_USB_Optical_Mouse-event-mouse"}
                               << true;
        QTest::newRow("mouse's legacy node only") << QStringList{"usb-Logitech-mouse"} << false;
        QTest::newRow("keyboard and mouse")
            << QStringList{"usb-Dell_Keyboard-event-kbd", "usb-Logitech-event-mouse"} << true;
    }

    void findMouse()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, mouse);
        TestRoot root;
        QVERIFY(root.mkdir("/dev/input/by-id"));
        for (const QString &entry : entries)
            QVERIFY(plug(root, entry));
        QCOMPARE(MouseCursorSelector::findMouse(root.path("/dev/input/by-id")), mouse);
    }

    void cursorFollowsMouse()
    {
        TestRoot root;
        QVERIFY(root.mkdir("/dev/input/by-id"));
        QVERIFY(plug(root, "usb-Dell_Keyboard-event-kbd"));
        MouseCursorSelector selector;
        QCOMPARE(cursor(), Qt::BlankCursor);
        QVERIFY(!selector.mouseAttached());

        QVERIFY(plug(root, "usb-Logitech_USB_Optical_Mouse-event-mouse"));
        QTRY_COMPARE(cursor(), Qt::ArrowCursor);
        QVERIFY(selector.mouseAttached());

        QVERIFY(unplug(root, "usb-Logitech_USB_Optical_Mouse-event-mouse"));
        QTRY_COMPARE(cursor(), Qt::BlankCursor);
        QVERIFY(!selector.mouseAttached());
        // One override cursor at a time, not a growing stack.
        QApplication::restoreOverrideCursor();
        QVERIFY(!QApplication::overrideCursor());
    }

    // udev removes by-id with the last input device and makes it anew with the next one.
    void folderComesAndGoes()
    {
        TestRoot root;
        QVERIFY(root.mkdir("/dev/input"));
        MouseCursorSelector selector;
        QCOMPARE(cursor(), Qt::BlankCursor);

        QVERIFY(root.mkdir("/dev/input/by-id"));
        QVERIFY(plug(root, "usb-Logitech-event-mouse"));
        QTRY_COMPARE(cursor(), Qt::ArrowCursor);

        QVERIFY(QDir(root.path("/dev/input/by-id")).removeRecursively());
        QTRY_COMPARE(cursor(), Qt::BlankCursor);

        QVERIFY(root.mkdir("/dev/input/by-id"));
        QVERIFY(plug(root, "usb-Logitech-event-mouse"));
        QTRY_COMPARE(cursor(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(MouseCursorSelectorTest)
#include "tst_MouseCursorSelector.moc"
