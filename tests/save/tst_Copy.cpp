#include "Copy.h"
#include "TestRoot.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <sys/stat.h>

class CopyTest : public QObject
{
    Q_OBJECT

private:
    static QByteArray pattern(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + i / 1024) & 0xff);
        return bytes;
    }

private Q_SLOTS:
    void copiesExactBytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("existingTarget");   // -1: no target yet
        QTest::newRow("empty file, no target") << 0 << -1;
        QTest::newRow("less than a chunk") << 100 << -1;
        QTest::newRow("exactly one chunk") << 1024 << -1;
        QTest::newRow("many chunks and a remainder") << 1024 * 300 + 17 << -1;
        // Before the fix, old bytes stayed behind the end of a shorter copy.
        QTest::newRow("onto a longer existing file") << 10 << 5000;
        QTest::newRow("empty file onto an existing file") << 0 << 3000;
        QTest::newRow("onto a shorter existing file") << 4000 << 10;
    }
    void copiesExactBytes()
    {
        QFETCH(int, size);
        QFETCH(int, existingTarget);
        TestRoot root;
        const QByteArray content = pattern(size);
        QVERIFY(root.writeFile("/ORBELIN/a/01_RAW.tif", content));
        if (existingTarget >= 0)
            QVERIFY(root.writeFile("/media/USB/01_RAW.tif", QByteArray(existingTarget, 'x')));
        else
            QVERIFY(root.mkdir("/media/USB"));

        QCOMPARE(copy("/ORBELIN/a/01_RAW.tif", "/media/USB/01_RAW.tif"), 0);
        QCOMPARE(root.readFile("/media/USB/01_RAW.tif"), content);
        QCOMPARE(root.readFile("/ORBELIN/a/01_RAW.tif"), content);
    }

    void newTargetHasMode0644()
    {
        TestRoot root;
        root.writeFile("/root/a.csv", "x");
        QCOMPARE(copy("/root/a.csv", "/root/b.csv"), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat info;
        QCOMPARE(::stat(root.path("/root/b.csv").toLocal8Bit().constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), int(0644 & ~mask));
    }

    void utf8Names()
    {
        TestRoot root;
        const QString name = QStringLiteral("/ORBELIN/Hefe \u00e4\u00f6 \u00b5/01.tif");
        QVERIFY(root.writeFile(name, "cells"));
        QCOMPARE(copy(name.toUtf8().constData(), "/ORBELIN/\u00fcber.tif"), 0);
        QCOMPARE(root.readFile(QStringLiteral("/ORBELIN/\u00fcber.tif")), QByteArray("cells"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::newRow("missing source") << "/root/none.csv" << "/root/out.csv";
        QTest::newRow("missing target folder") << "/root/in.csv" << "/root/no/such/out.csv";
        QTest::newRow("target is a folder") << "/root/in.csv" << "/root/folder";
        QTest::newRow("source is a folder") << "/root/folder" << "/root/out.csv";
    }
    void failures()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        TestRoot root;
        root.writeFile("/root/in.csv", "data");
        root.mkdir("/root/folder");
        QCOMPARE(copy(source.toUtf8().constData(), target.toUtf8().constData()), -1);
        QCOMPARE(root.readFile("/root/in.csv"), QByteArray("data"));
        // Before: a source that could not be read still left an empty target.
        QCOMPARE(QFileInfo::exists(root.path(target)), target == "/root/folder");
    }

    // Cutting the target first would have emptied a file copied onto itself.
    void sameFileIsLeftWhole()
    {
        TestRoot root;
        root.writeFile("/ORBELIN/x.csv", "precious");
        QVERIFY(QFile::link(root.path("/ORBELIN/x.csv"), root.path("/ORBELIN/link.csv")));
        QCOMPARE(copy("/ORBELIN/x.csv", "/ORBELIN/x.csv"), -1);
        QCOMPARE(copy("/ORBELIN/link.csv", "/ORBELIN/x.csv"), -1);
        QCOMPARE(root.readFile("/ORBELIN/x.csv"), QByteArray("precious"));
    }

    void nullPaths()
    {
        QCOMPARE(copy(nullptr, "/root/x"), -1);
        QCOMPARE(copy("/root/x", nullptr), -1);
    }
};

QTEST_GUILESS_MAIN(CopyTest)
#include "tst_Copy.moc"
