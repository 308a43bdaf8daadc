#include "Copy.h"
#include "TestRoot.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <sys/stat.h>

class CopyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void copiesExactBytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("existingTarget");   // -1: no target yet
        QTest::newRow("several blocks and a remainder") << 3 * 1048576 + 17 << -1;
        // Before, old bytes stayed behind the end of a shorter copy.
        QTest::newRow("onto a longer file") << 10 << 5000;
        QTest::newRow("empty onto a file") << 0 << 3000;
    }
    void copiesExactBytes()
    {
        QFETCH(int, size);
        QFETCH(int, existingTarget);
        TestRoot root;
        QByteArray content(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            content[i] = char((i * 7 + i / 1024) & 0xff);
        const QString source = QStringLiteral("/ORBELIN/Hefe \u00e4\u00f6/01_RAW.tif");
        QVERIFY(root.writeFile(source, content) && root.mkdir("/media/USB"));
        QVERIFY(existingTarget < 0
                || root.writeFile("/media/USB/01.tif", QByteArray(existingTarget, 'x')));
        const mode_t mask = ::umask(0);
        const int result = copy(source.toUtf8().constData(), "/media/USB/01.tif");
        ::umask(mask);
        QCOMPARE(result, 0);
        QCOMPARE(root.readFile("/media/USB/01.tif"), content);
        QCOMPARE(root.readFile(source), content);
        // A new target gets mode 0644, whatever the umask.
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(root.path("/media/USB/01.tif")).constData(), &info), 0);
        QVERIFY(existingTarget >= 0 || (info.st_mode & 0777) == 0644);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::newRow("missing source") << "/root/none.csv" << "/root/out.csv";
        QTest::newRow("missing target folder") << "/root/in.csv" << "/root/no/such/out.csv";
        QTest::newRow("target is a folder") << "/root/in.csv" << "/root/folder";
        QTest::newRow("source is a folder") << "/root/folder" << "/root/out.csv";
        // Cutting the target first would empty a file copied onto itself.
        QTest::newRow("same file") << "/root/in.csv" << "/root/in.csv";
        QTest::newRow("same file through a link") << "/root/link.csv" << "/root/in.csv";
    }
    void failures()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        TestRoot root;
        QVERIFY(root.writeFile("/root/in.csv", "data") && root.mkdir("/root/folder"));
        QVERIFY(QFile::link(root.path("/root/in.csv"), root.path("/root/link.csv")));
        QCOMPARE(copy(source.toUtf8().constData(), target.toUtf8().constData()), -1);
        QCOMPARE(root.readFile("/root/in.csv"), QByteArray("data"));
        // Before: a source that could not be read still left an empty target.
        QCOMPARE(QFileInfo::exists(root.path(target)), !target.endsWith("out.csv"));
        QCOMPARE(copy(nullptr, "/root/x") + copy("/root/in.csv", nullptr), -2);
    }
};

QTEST_GUILESS_MAIN(CopyTest)
#include "tst_Copy.moc"
