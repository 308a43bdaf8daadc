#include "PrivateProfile.h"
#include "TestRoot.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

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
    void roundTrip_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "Security" << "Enable" << "True";
        QTest::newRow("blanks in names") << "Counting options" << "Counting field" << "10";
        QTest::newRow("trailing zero kept") << "Protocol" << "Min size" << "0.30";
        QTest::newRow("commas and blanks in value") << "A" << "B" << "1, 2 ,3";
        QTest::newRow("leading blank in value") << "A" << "B" << " x";
        QTest::newRow("equals sign in value") << "A" << "B" << "k=v";
        QTest::newRow("percent-20 in value stays") << "A" << "B" << "a%20b";
        QTest::newRow("utf-8") << "Wi-Fi" << "SSID" << QString::fromUtf8("Caf\xc3\xa9");
    }
    void roundTrip()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        TestRoot root;
        const std::string path = "/root/ORBELIN_Vn/test.ini";
        QVERIFY(WritePrivateProfileString(section.toStdString(), key.toStdString(),
                                          value.toStdString(), path));
        int found = 0;
        QCOMPARE(QString::fromStdString(read(section.toStdString(), key.toStdString(), path,
                                             &found)), value);
        QCOMPARE(found, 1);
        // Written inside the root, never at the real path.
        QVERIFY(QFileInfo::exists(root.path("/root/ORBELIN_Vn/test.ini")));
    }

    void missingFileAndKeysGiveDefault()
    {
        TestRoot root;
        int found = 1;
        QCOMPARE(read("S", "K", "/root/none/missing.ini", &found), std::string("dflt"));
        QCOMPARE(found, 0);
        QVERIFY(!QFileInfo::exists(root.path("/root/none/missing.ini")));   // read writes nothing

        QVERIFY(WritePrivateProfileString("S", "Empty", "", "/root/a.ini"));
        QCOMPARE(read("S", "Empty", "/root/a.ini", &found), std::string("dflt"));
        QCOMPARE(found, 0);
        QCOMPARE(read("Other", "Empty", "/root/a.ini", &found), std::string("dflt"));
        QCOMPARE(read("S", "Missing", "/root/a.ini", &found), std::string("dflt"));
    }

    void writeKeepsEverythingElse()
    {
        TestRoot root;
        root.writeFile("/root/k.ini",
                       "[General]\nfoo=1\n\n[Counting%20options]\nCounting%20field=10\n"
                       "Autofocus=0\n\n[Last]\nz=9\n");
        QVERIFY(WritePrivateProfileString("Counting options", "Autofocus", "1", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("Counting options", "Eject on", "yes", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("New section", "k", "v", "/root/k.ini"));
        QCOMPARE(read("General", "foo", "/root/k.ini"), std::string("1"));
        QCOMPARE(read("Counting options", "Counting field", "/root/k.ini"), std::string("10"));
        QCOMPARE(read("Counting options", "Autofocus", "/root/k.ini"), std::string("1"));
        QCOMPARE(read("Counting options", "Eject on", "/root/k.ini"), std::string("yes"));
        QCOMPARE(read("Last", "z", "/root/k.ini"), std::string("9"));
        QCOMPARE(read("New section", "k", "/root/k.ini"), std::string("v"));
        // The new key went into its own section, not the end of the file.
        const QByteArray text = root.readFile("/root/k.ini");
        QVERIFY2(text.indexOf("Eject on=yes") < text.indexOf("[Last]"), text.constData());
        QCOMPARE(text.count("Autofocus="), 1);
    }

    void sameKeyInTwoSectionsIsTwoKeys()
    {
        TestRoot root;
        WritePrivateProfileString("A", "Value", "1", "/root/s.ini");
        WritePrivateProfileString("B", "Value", "2", "/root/s.ini");
        QCOMPARE(read("A", "Value", "/root/s.ini"), std::string("1"));
        QCOMPARE(read("B", "Value", "/root/s.ini"), std::string("2"));
    }

    void newlineInValueCannotAddKeys()
    {
        TestRoot root;
        WritePrivateProfileString("A", "Name", "x\n[Security]\nEnable=False", "/root/n.ini");
        int found = 1;
        read("Security", "Enable", "/root/n.ini", &found);
        QCOMPARE(found, 0);
    }

    void failedWriteLeavesFileWhole()
    {
        TestRoot root;
        QVERIFY(WritePrivateProfileString("A", "k", "old", "/root/ro/f.ini"));
        QFile::setPermissions(root.path("/root/ro"), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(root.path("/root/ro")).isWritable())
            QSKIP("running with rights that ignore folder permissions");
        QVERIFY(!WritePrivateProfileString("A", "k", "new", "/root/ro/f.ini"));
        QCOMPARE(read("A", "k", "/root/ro/f.ini"), std::string("old"));
        QFile::setPermissions(root.path("/root/ro"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void writeIntoFolderThatIsAFileFails()
    {
        TestRoot root;
        root.writeFile("/root/blocker", "x");
        QVERIFY(!WritePrivateProfileString("A", "k", "v", "/root/blocker/f.ini"));
        QCOMPARE(root.readFile("/root/blocker"), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(PrivateProfileTest)
#include "tst_PrivateProfile.moc"
