#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "ProtocolFrame.h"
#include "Resources.h"
#include "SaveAsDlg.h"
#include "TestRoot.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

const char Folder[] = "/root/ORBELIN_Vn/Protocol/";
const char Settings[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
const QStringList Fields{"LABEL_DILUTION_FACTOR", "LABEL_MIN_CELL_SIZE", "LABEL_MAX_CELL_SIZE",
                         "LABEL_ROUNDNESS", "LABEL_DECLUSTERING_LEVEL",
                         "LABEL_DETECTION_SENSITIVITY"};
const QStringList BuiltIn{"2", "0.3", "50", "30", "7", "4"};

QByteArray protocolFile(const QStringList &values)
{
    return QStringLiteral("[Dilution Factor]\nValue=%1\n[Min Cell Size]\nSize=%2\n"
                          "[Max Cell Size]\nSize=%3\n[Roundness]\nValue=%4\n"
                          "[Declustering Level]\nLevel=%5\n[Detection Sensitivity]\nValue=%6\n")
        .arg(values.at(0), values.at(1), values.at(2), values.at(3), values.at(4), values.at(5))
        .toUtf8();
}

} // namespace

class ProtocolFrameTest : public QObject
{
    Q_OBJECT

private:
    static QStringList listed(ProtocolFrame &frame)
    {
        QStringList names;
        auto *list = frame.findChild<QListWidget *>("LIST");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }

    static QStringList shown(ProtocolFrame &frame)
    {
        QStringList values;
        for (const QString &name : Fields)
            values << frame.findChild<QLabel *>(name)->text();
        return values;
    }

    static QString current(ProtocolFrame &frame)
    {
        return frame.findChild<QListWidget *>("LIST")->currentItem()->text();
    }

    static void select(ProtocolFrame &frame, const QString &name)
    {
        auto *list = frame.findChild<QListWidget *>("LIST");
        const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
        QVERIFY2(items.size() == 1, qPrintable(name));
        list->setCurrentItem(items.first());
    }

    static void click(ProtocolFrame &frame, const QString &button)
    {
        auto *b = frame.findChild<QPushButton *>(button);
        QVERIFY2(b, qPrintable(button));
        QTest::mouseClick(b, Qt::LeftButton);
    }

    static QString read(const QString &path, const char *section, const char *key)
    {
        std::string value;
        ReadPrivateProfileString(section, key, "<missing>", value, path.toStdString());
        return QString::fromStdString(value);
    }

    static QString currentProtocol()
    {
        return read(Settings, "Current Protocol", "Name");
    }

    static QStringList stored(const QString &name)
    {
        const QString path = QString(Folder) + name + ".ini";
        return {read(path, "Dilution Factor", "Value"), read(path, "Min Cell Size", "Size"),
                read(path, "Max Cell Size", "Size"), read(path, "Roundness", "Value"),
                read(path, "Declustering Level", "Level"),
                read(path, "Detection Sensitivity", "Value")};
    }

    static bool steppersEnabled(ProtocolFrame &frame)
    {
        return frame.findChild<QPushButton *>("BUTTON_ROUNDNESS_UP")->isEnabled();
    }

    // Runs SAVE AS: types the name into the dialog's field, presses Enter, and answers the
    // replace question when one comes; the dialog is closed by its close button if it
    // stays open.
    static bool saveAs(ProtocolFrame &frame, const QString &name, const QString &replaceAnswer,
                       QString *question = nullptr)
    {
        bool closedByItself = false;
        ModalAnswer::next([=, &closedByItself](QWidget *modal) {
            auto *field = modal->findChild<QLineEdit *>("EDIT_FILENAME");
            field->clear();
            QTest::keyClicks(modal, name);
            if (!replaceAnswer.isEmpty())
                ModalAnswer::clickNext(replaceAnswer, question);
            QTest::keyClick(modal, Qt::Key_Enter);
            closedByItself = !modal->isVisible();
            if (!closedByItself)
                QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_EXIT"), Qt::LeftButton);
        });
        click(frame, "BUTTON_SAVE_AS");
        return closedByItself;
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void listOrderAndFilter()
    {
        TestRoot root;
        for (const char *file : {"b.ini", "A.ini", "DEFAULT.ini", "notes.txt", "B.ini", "a.ini",
                                 "a-1.ini", "a_1.ini", "ab.ini", "X.INI", ".hidden.ini"})
            root.writeFile(QString(Folder) + file, protocolFile(BuiltIn));
        root.mkdir(QString(Folder) + "c.ini");
        ProtocolFrame frame;
        QCOMPARE(listed(frame),
                 (QStringList{"DEFAULT", "A", "B", "a-1", "a", "a_1", "ab", "b"}));
        QCOMPARE(current(frame), QString("DEFAULT"));
        QCOMPARE(shown(frame), BuiltIn);
        QVERIFY(!steppersEnabled(frame));
    }

    void missingFolderListsDefaultOnly()
    {
        TestRoot root;
        ProtocolFrame frame;
        QCOMPARE(listed(frame), QStringList{"DEFAULT"});
    }

    void shownValues_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("partial file") << "partial" << QStringList{"2", "0.3", "50", "55", "7", "4"};
        QTest::newRow("values kept as written")
            << "written" << QStringList{"0020", "0.30", "12.50", "abc", "7", "4"};
        QTest::newRow("DEFAULT ignores DEFAULT.ini") << "DEFAULT" << BuiltIn;
        QTest::newRow("file removed behind the back") << "gone" << BuiltIn;
    }

    void shownValues()
    {
        QFETCH(QString, entry);
        TestRoot root;
        root.writeFile(QString(Folder) + "partial.ini", "[Roundness]\nValue=55\n");
        root.writeFile(QString(Folder) + "written.ini",
                       protocolFile({"0020", "0.30", "12.50", "abc", "7", "4"}));
        root.writeFile(QString(Folder) + "DEFAULT.ini", protocolFile({"9", "1", "9", "9", "9", "9"}));
        root.writeFile(QString(Folder) + "gone.ini", protocolFile({"9", "1", "9", "9", "9", "9"}));
        ProtocolFrame frame;
        select(frame, "partial");
        QFile::remove(root.path(QString(Folder) + "gone.ini"));
        select(frame, entry);
        QTEST(shown(frame), "values");
    }

    void steppers_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("other");     // the other size field, for the size columns
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("touches");
        QTest::addColumn<QString>("result");

        const QString D = "DILUTION_FACTOR";
        QTest::newRow("dilution 9 up") << D << "9" << "" << "UP" << 1 << "10";
        QTest::newRow("dilution 10 down") << D << "10" << "" << "DOWN" << 1 << "9";
        QTest::newRow("dilution 1000 down") << D << "1000" << "" << "DOWN" << 1 << "900";
        QTest::newRow("dilution 1000 up") << D << "1000" << "" << "UP" << 1 << "2000";
        QTest::newRow("dilution 20000 up") << D << "20000" << "" << "UP" << 1 << "20000";
        QTest::newRow("dilution 20000 down") << D << "20000" << "" << "DOWN" << 1 << "19000";
        QTest::newRow("dilution 1 down") << D << "1" << "" << "DOWN" << 1 << "1";
        QTest::newRow("dilution to the top") << D << "1" << "" << "UP" << 60 << "20000";
        QTest::newRow("dilution to the bottom") << D << "20000" << "" << "DOWN" << 60 << "1";
        QTest::newRow("dilution of text up") << D << "x" << "" << "UP" << 1 << "1";
        QTest::newRow("dilution of text down") << D << "x" << "" << "DOWN" << 1 << "x";

        const QString MIN = "MIN_CELL_SIZE", MAX = "MAX_CELL_SIZE";
        QTest::newRow("min 0.3 down") << MIN << "0.3" << "50" << "DOWN" << 1 << "0.3";
        QTest::newRow("min 0.3 up") << MIN << "0.3" << "50" << "UP" << 1 << "0.4";
        QTest::newRow("min 0.30 up") << MIN << "0.30" << "50" << "UP" << 1 << "0.4";
        QTest::newRow("min stops below max 1") << MIN << "0.3" << "1" << "UP" << 20 << "0.9";
        QTest::newRow("min stops below max 50") << MIN << "0.3" << "50" << "UP" << 80 << "49";
        QTest::newRow("min 1 up") << MIN << "1" << "50" << "UP" << 1 << "2";
        QTest::newRow("min 1 down") << MIN << "1" << "50" << "DOWN" << 1 << "0.9";
        QTest::newRow("min to the bottom") << MIN << "49" << "50" << "DOWN" << 80 << "0.3";
        QTest::newRow("min of text up") << MIN << "x" << "50" << "UP" << 1 << "0.1";
        QTest::newRow("min of text down") << MIN << "x" << "50" << "DOWN" << 1 << "x";
        QTest::newRow("max 50 up") << MAX << "50" << "0.3" << "UP" << 1 << "50";
        QTest::newRow("max stops above min 0.3") << MAX << "50" << "0.3" << "DOWN" << 80 << "0.4";
        QTest::newRow("max stops above min 5") << MAX << "50" << "5" << "DOWN" << 80 << "6";
        QTest::newRow("max 1 up") << MAX << "1" << "0.3" << "UP" << 1 << "2";
        QTest::newRow("max 1 down") << MAX << "1" << "0.3" << "DOWN" << 1 << "0.9";
        QTest::newRow("max to the top") << MAX << "0.4" << "0.3" << "UP" << 80 << "50";
        QTest::newRow("max of text up") << MAX << "x" << "0.3" << "UP" << 1 << "0.1";
        QTest::newRow("max of text down") << MAX << "x" << "0.3" << "DOWN" << 1 << "x";

        const struct { const char *name; int top; } levels[] = {
            {"ROUNDNESS", 100}, {"DECLUSTERING_LEVEL", 10}, {"DETECTION_SENSITIVITY", 9}};
        for (const auto &level : levels) {
            const QString top = QString::number(level.top);
            QTest::addRow("%s at the top", level.name) << level.name << top << "" << "UP" << 1 << top;
            QTest::addRow("%s at 0", level.name) << level.name << "0" << "" << "DOWN" << 1 << "0";
            QTest::addRow("%s up", level.name) << level.name << "0" << "" << "UP" << 1 << "1";
            QTest::addRow("%s down", level.name) << level.name << top << "" << "DOWN" << 1
                                                 << QString::number(level.top - 1);
        }
    }

    void steppers()
    {
        QFETCH(QString, field);
        QFETCH(QString, start);
        QFETCH(QString, other);
        QFETCH(QString, button);
        QFETCH(int, touches);
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        QVERIFY(steppersEnabled(frame));
        frame.findChild<QLabel *>("LABEL_" + field)->setText(start);
        if (!other.isEmpty()) {
            const QString otherField = field == "MIN_CELL_SIZE" ? "MAX_CELL_SIZE" : "MIN_CELL_SIZE";
            frame.findChild<QLabel *>("LABEL_" + otherField)->setText(other);
        }
        for (int i = 0; i < touches; ++i)
            click(frame, "BUTTON_" + field + "_" + button);
        QTEST(frame.findChild<QLabel *>("LABEL_" + field)->text(), "result");
    }

    void editState()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        click(frame, "BUTTON_EDIT");
        QVERIFY(message.contains("The DEFAULT protocol cannot be edited or deleted."));
        QVERIFY(!steppersEnabled(frame));

        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        QVERIFY(steppersEnabled(frame));
        click(frame, "BUTTON_ROUNDNESS_UP");
        QCOMPARE(shown(frame).at(3), QString("31"));
        // Another entry shows its stored values and leaves the edit state.
        select(frame, "DEFAULT");
        QVERIFY(!steppersEnabled(frame));
        select(frame, "yeast");
        QCOMPARE(shown(frame).at(3), QString("30"));
    }

    void loadMakesProtocolCurrent()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini",
                       protocolFile({"10", "0.30", "20", "40", "5", "3"}));
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        click(frame, "BUTTON_ROUNDNESS_UP");
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        click(frame, "BUTTON_LOAD");
        QCOMPARE(message, QString("The selected protocol has been loaded."));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString("yeast"));
        QCOMPARE(currentProtocol(), QString("yeast"));
        // The shown values, edited or not, go into the file as they stand.
        QCOMPARE(stored("yeast"), (QStringList{"10", "0.30", "20", "41", "5", "3"}));
        QVERIFY(!steppersEnabled(frame));

        // DEFAULT gets a file with the built-in values, for the gating screen.
        select(frame, "DEFAULT");
        ModalAnswer::clickNext("BUTTON_OK");
        click(frame, "BUTTON_LOAD");
        QCOMPARE(currentProtocol(), QString("DEFAULT"));
        QCOMPARE(stored("DEFAULT"), BuiltIn);
        QCOMPARE(spy.count(), 2);
    }

    void saveAsNewName()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        WritePrivateProfileString("Current Protocol", "Name", "yeast", Settings);
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        click(frame, "BUTTON_DILUTION_FACTOR_UP");
        QVERIFY(saveAs(frame, "Algae_2", QString()));
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "yeast", "Algae_2"}));
        QCOMPARE(stored("Algae_2"), (QStringList{"3", "0.3", "50", "30", "7", "4"}));
        QCOMPARE(stored("yeast"), BuiltIn);
        QCOMPARE(current(frame), QString("yeast"));
        QCOMPARE(currentProtocol(), QString("yeast"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!steppersEnabled(frame));
    }

    void saveAsExistingName_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("closed");
        QTest::newRow("replaced") << "BUTTON_OK" << QStringList{"3", "0.3", "50", "30", "7", "4"}
                                  << true;
        QTest::newRow("kept") << "BUTTON_CANCEL" << QStringList{"9", "0.3", "50", "30", "7", "4"}
                              << false;
    }

    void saveAsExistingName()
    {
        QFETCH(QString, answer);
        QFETCH(bool, closed);
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        root.writeFile(QString(Folder) + "other.ini",
                       protocolFile({"9", "0.3", "50", "30", "7", "4"}));
        ProtocolFrame frame;
        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        click(frame, "BUTTON_DILUTION_FACTOR_UP");
        QString question;
        QCOMPARE(saveAs(frame, "other", answer, &question), closed);
        QCOMPARE(question, QString("There is already a file with the same name in this "
                                   "location. Do you want to replace it?"));
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "other", "yeast"}));
        QTEST(stored("other"), "stored");
    }

    void saveAsRefusesUnsafeNames()
    {
        TestRoot root;
        ProtocolFrame frame;
        QSignalSpy failed(&frame, &ProtocolFrame::signalSaveFailed);
        for (const QString &name : {QString("../escape"), QString("DEFAULT"), QString(),
                                    QString("a b"), QString(38, 'a')})
            frame.slotSave(name);
        QCOMPARE(failed.count(), 5);
        QCOMPARE(listed(frame), QStringList{"DEFAULT"});
        QVERIFY(QDir(root.path(Folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot
                                                  | QDir::Hidden).isEmpty());
        QVERIFY(!QFileInfo::exists(root.path("/root/ORBELIN_Vn/escape.ini")));
    }

    void deleteProtocol_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("currentBefore");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QString>("currentAfter");
        QTest::addColumn<int>("signals");
        QTest::newRow("the current one") << "b" << "b" << "DEFAULT" << "DEFAULT" << 1;
        QTest::newRow("another one") << "b" << "c" << "c" << "c" << 0;
        QTest::newRow("the last one") << "c" << "a" << "b" << "a" << 0;
    }

    void deleteProtocol()
    {
        QFETCH(QString, selected);
        QFETCH(QString, currentBefore);
        TestRoot root;
        for (const char *name : {"a", "b", "c"})
            root.writeFile(QString(Folder) + name + ".ini",
                           protocolFile({"2", "0.3", "50", QString::number(name[0]), "7", "4"}));
        WritePrivateProfileString("Current Protocol", "Name", currentBefore.toStdString(),
                                  Settings);
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(frame, selected);
        QString question;
        ModalAnswer::clickNext("BUTTON_OK", &question);
        click(frame, "BUTTON_DELETE");
        QCOMPARE(question, QString("Are you sure you want to delete the\nthe selected protocol?"));
        QVERIFY(!QFile::exists(root.path(QString(Folder) + selected + ".ini")));
        QVERIFY(!listed(frame).contains(selected));
        QTEST(current(frame), "shownAfter");
        QTEST(currentProtocol(), "currentAfter");
        QTEST(int(spy.count()), "signals");
        if (spy.count())
            QCOMPARE(spy.at(0).at(0).toString(), QString("DEFAULT"));
        const QString after = current(frame);
        QCOMPARE(shown(frame).at(3),
                 after == "DEFAULT" ? QString("30") : QString::number(after.at(0).unicode()));
    }

    void deleteRefusedOrCancelled()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        click(frame, "BUTTON_DELETE");
        QVERIFY(message.startsWith("The DEFAULT protocol cannot be edited or deleted."));
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "yeast"}));

        select(frame, "yeast");
        ModalAnswer::clickNext("BUTTON_CANCEL");
        click(frame, "BUTTON_DELETE");
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "yeast"}));
        QVERIFY(QFile::exists(root.path(QString(Folder) + "yeast.ini")));
    }

    // Before: a file that could not be written or removed was reported as loaded, saved
    // or deleted.
    void diskFailuresAreReported()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(frame, "yeast");
        // A folder where the file should be: it can be neither written nor removed.
        QFile::remove(root.path(QString(Folder) + "yeast.ini"));
        root.writeFile(QString(Folder) + "yeast.ini/keep", "x");

        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        click(frame, "BUTTON_LOAD");
        QVERIFY2(message.contains("could not be loaded"), qPrintable(message));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(currentProtocol(), QString("<missing>"));

        ModalAnswer::next([&message](QWidget *question) {
            ModalAnswer::clickNext("BUTTON_OK", &message);
            QTest::mouseClick(question->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        });
        click(frame, "BUTTON_DELETE");
        QVERIFY2(message.contains("could not be deleted"), qPrintable(message));
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "yeast"}));

        root.writeFile(QString(Folder) + "blocked.ini/keep", "x");
        QSignalSpy failed(&frame, &ProtocolFrame::signalSaveFailed);
        ModalAnswer::clickNext("BUTTON_OK", &message);
        frame.slotSave("blocked");
        QVERIFY2(message.contains("could not be saved"), qPrintable(message));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(listed(frame), (QStringList{"DEFAULT", "yeast"}));
    }

    void securityLock()
    {
        TestRoot root;
        root.writeFile(QString(Folder) + "yeast.ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        select(frame, "yeast");
        click(frame, "BUTTON_EDIT");
        frame.slotEnableSecurityMode(true);
        for (const char *name : {"BUTTON_EDIT", "BUTTON_SAVE_AS", "BUTTON_DELETE"})
            QVERIFY2(!frame.findChild<QPushButton *>(name)->isEnabled(), name);
        QVERIFY(frame.findChild<QPushButton *>("BUTTON_LOAD")->isEnabled());
        QVERIFY(steppersEnabled(frame));
        QVERIFY(frame.findChild<QListWidget *>("LIST")->isEnabled());

        ModalAnswer::clickNext("BUTTON_OK");
        click(frame, "BUTTON_LOAD");
        QCOMPARE(currentProtocol(), QString("yeast"));

        frame.slotEnableSecurityMode(false);
        for (const char *name : {"BUTTON_EDIT", "BUTTON_SAVE_AS", "BUTTON_DELETE"})
            QVERIFY2(frame.findChild<QPushButton *>(name)->isEnabled(), name);
    }

    void looksRight()
    {
        TestRoot root;
        for (const char *name : {"Yeast", "Algae_2", "CHO-cells", "Bacteria", "Sample-42"})
            root.writeFile(QString(Folder) + name + ".ini", protocolFile(BuiltIn));
        ProtocolFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        select(frame, "Yeast");
        click(frame, "BUTTON_EDIT");
        QVERIFY(frame.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-protocolframe.png")));
    }
};

QTEST_MAIN(ProtocolFrameTest)
#include "tst_ProtocolFrame.moc"
