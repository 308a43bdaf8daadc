#include "SystemPaths.h"

#include <QtTest>

class SystemPathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void map_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mapped");
        QTest::newRow("unset root is the real system") << QString() << "/etc/mtab" << "/etc/mtab";
        QTest::newRow("slash root is the real system") << "/" << "/media" << "/media";
        QTest::newRow("root in front") << "/tmp/r" << "/root/ORBELIN_Vn/ORBELIN_Vn.ini"
                                       << "/tmp/r/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        QTest::newRow("trailing slash of root") << "/tmp/r/" << "/dev/ttyUSB0" << "/tmp/r/dev/ttyUSB0";
        QTest::newRow("relative path unchanged") << "/tmp/r" << "a/b" << "a/b";
        QTest::newRow("already mapped") << "/tmp/r" << "/tmp/r/media/USB" << "/tmp/r/media/USB";
        QTest::newRow("prefix of root name is not the root") << "/tmp/r" << "/tmp/rx" << "/tmp/r/tmp/rx";
    }
    void map()
    {
        QFETCH(QString, root);
        QFETCH(QString, path);
        QFETCH(QString, mapped);
        if (root.isNull())
            qunsetenv("ORBELIN_ROOT");
        else
            qputenv("ORBELIN_ROOT", root.toLocal8Bit());
        QCOMPARE(SystemPaths::map(path), mapped);
        QCOMPARE(QString::fromStdString(SystemPaths::map(path.toStdString())), mapped);
        if (path.startsWith('/') && !path.startsWith("/tmp/r/"))
            QCOMPARE(SystemPaths::unmap(mapped), path);
        qunsetenv("ORBELIN_ROOT");
    }
};

QTEST_GUILESS_MAIN(SystemPathsTest)
#include "tst_SystemPaths.moc"
