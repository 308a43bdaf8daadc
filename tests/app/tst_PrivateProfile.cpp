#include "PrivateProfile.h"
#include "TestRoot.h"

#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class PrivateProfileTest : public QObject
{
    Q_OBJECT

private:
    static std::string read(const std::string &section, const std::string &key,
                            const std::string &path, int *found = nullptr)
    {
        std::string value;
        const int result = ReadPrivateProfileString(section, key, "dflt", value, path);
        if (found)
            *found = result;
        return value;
    }

private Q_SLOTS:
    // One table of awkward values, written here and read by Qt's own INI store, and written
    // by it and read here: the files in the field were written by that store.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "True";
        QTest::newRow("trailing zero kept") << "0.30";
        QTest::newRow("date with blanks") << "05 DEC 2026 14:31";
        QTest::newRow("commas") << "1, 2 ,3";
        QTest::newRow("quotes") << "say \"hi\"";
        QTest::newRow("backslashes") << "C:\\dir\\";
        QTest::newRow("lone backslash") << "\\";
        QTest::newRow("blank at start") << " x";
        QTest::newRow("blank at end") << "x ";
        QTest::newRow("semicolon") << "a;b";
        QTest::newRow("equals sign") << "k=v";
        QTest::newRow("hash") << "#x";
        QTest::newRow("percent-20 stays") << "a%20b";
        QTest::newRow("at sign") << "@ByteArray(x)";
        QTest::newRow("tab and line break") << "a\tb\n[Security]";
        QTest::newRow("utf-8, hex digit after") << QString::fromUtf8("Caf\xc3\xa9" "1 \xf0\x9f\x98\x80");
        QTest::newRow("empty") << "";
    }
    void roundTrip()
    {
        QFETCH(QString, value);
        TestRoot root;
        const std::string path = "/root/ORBELIN_Vn/test.ini";
        int found = 1;
        QCOMPARE(read("S", "K", path, &found), std::string("dflt"));
        QCOMPARE(found, 0);
        QVERIFY(!QFileInfo::exists(root.path(QString::fromStdString(path))));   // read writes nothing

        const QString section = QString::fromUtf8("Caf\xc3\xa9 options;=");
        QVERIFY(WritePrivateProfileString(section.toStdString(), "Key name", value.toStdString(),
                                          path));
        // A value must not swallow the line after it.
        QVERIFY(WritePrivateProfileString(section.toStdString(), "Next", "1", path));
        const QString expected = value.isEmpty() ? "dflt" : value;
        QCOMPARE(QString::fromStdString(read(section.toStdString(), "Key name", path, &found)),
                 expected);
        QCOMPARE(found, value.isEmpty() ? 0 : 1);
        {
            QSettings qt(root.path(QString::fromStdString(path)), QSettings::IniFormat);
            QCOMPARE(qt.value(section + "/Key name").toString(), value);
            QCOMPARE(qt.value(section + "/Next").toString(), QString("1"));
            qt.setValue("Other section/Key name", value);
        }
        QCOMPARE(QString::fromStdString(read("Other section", "Key name", path)), expected);
        QCOMPARE(QString::fromStdString(read(section.toStdString(), "Key name", path)), expected);
    }

    // Files written by hand or by other tools, read as Qt's store reads them.
    void handMadeFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("value");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[Security]\nEnable=True\n")
                                         << "True";
        QTest::newRow("blanks around =") << QByteArray("[Security]\n  Enable \t= \tTrue \n")
                                         << "True";
        QTest::newRow("CRLF") << QByteArray("[Security]\r\nEnable=True\r\nPassword=x\r\n") << "True";
        QTest::newRow("quoted") << QByteArray("[Security]\nEnable= \" a,b\" \n") << " a,b";
        QTest::newRow("escaped")
            << QByteArray("[Security]\nEnable=x\\\"y\\\\z\\x00e9\\t\\\n!\n")
            << QString::fromUtf8("x\"y\\z\xc3\xa9\t!");
        QTest::newRow("escaped names") << QByteArray("[Secur%69ty]\nEn%U0061ble=True\n") << "True";
        QTest::newRow("comments") << QByteArray("[Security]\n;Enable=False\nEnable=True ;x\n")
                                  << "True";
        QTest::newRow("last one wins")
            << QByteArray("[Security]\nEnable=False\n[Other]\nx=1\n[Security]\nEnable=True\n")
            << "True";
    }
    void handMadeFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, value);
        TestRoot root;
        QVERIFY(root.writeFile("/root/h.ini", file));
        QCOMPARE(QSettings(root.path("/root/h.ini"), QSettings::IniFormat)
                     .value("Security/Enable").toString(), value);
        QCOMPARE(QString::fromStdString(read("Security", "Enable", "/root/h.ini")), value);
    }

    // Before, a write dropped the carriage return of every other line, the byte-order mark
    // and the blank lines at the end.
    void writeKeepsEverythingElse()
    {
        TestRoot root;
        const QByteArray head = "\xEF\xBB\xBF; notes\r\n[First]\r\n foo = 1 \r\n\r\n"
                                "[Counting%20options]\r\nCounting%20field=10\r\n";
        const QByteArray tail = "note=a\\\r\n b\r\n\r\n[Last]\r\nz=\"9,9\"";
        QVERIFY(root.writeFile("/root/k.ini", head + "Autofocus = 0 ;every field\r\n" + tail));
        QVERIFY(WritePrivateProfileString("Counting options", "Autofocus", "1", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("Counting options", "Eject on", "yes", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("Last", "k", "v", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("New section", "k", "a,b", "/root/k.ini"));
        QCOMPARE(root.readFile("/root/k.ini"),
                 head + "Autofocus = 1;every field\r\n" + tail.left(tail.indexOf("\r\n\r\n") + 2)
                     + "Eject on=yes\r\n\r\n[Last]\r\nz=\"9,9\"\r\nk=v\r\n\r\n"
                       "[New section]\r\nk=\"a,b\"\r\n");
        QCOMPARE(read("Counting options", "note", "/root/k.ini"), std::string("a b"));
    }

    // Before, such a file was replaced by one holding the written key alone.
    void damagedFileIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("target");
        const QString path = "/root/d.ini";
        QTest::newRow("zeros after a power cut") << QByteArray(64, '\0') << path;
        QTest::newRow("cut inside a section name")
            << QByteArray("[Security]\nEnable=True\n[Cou") << path;
        QTest::newRow("line without =") << QByteArray("[Security]\nEnable=True\ngarbage\n") << path;
        QTest::newRow("folder is a file") << QByteArray("x") << path + "/f.ini";
    }
    void damagedFileIsLeftAlone()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, target);
        TestRoot root;
        QVERIFY(root.writeFile("/root/d.ini", file));
        QVERIFY(!WritePrivateProfileString("Security", "Password", "x", target.toStdString()));
        QCOMPARE(root.readFile("/root/d.ini"), file);
    }

    // A write cut short (a full disk, here a file-size limit) leaves the old file whole.
    void cutShortWriteLeavesFileWhole()
    {
        TestRoot root;
        QVERIFY(WritePrivateProfileString("A", "k", "old", "/root/f.ini"));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit before = limit;
        limit.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool written = WritePrivateProfileString("A", "k", std::string(8192, 'x'),
                                                       "/root/f.ini");
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!written);
        QCOMPARE(read("A", "k", "/root/f.ini"), std::string("old"));
    }
};

QTEST_GUILESS_MAIN(PrivateProfileTest)
#include "tst_PrivateProfile.moc"
