#include "ModalAnswer.h"
#include "ProtocolFrame.h"
#include "Resources.h"
#include "SaveAsDlg.h"
#include "TestRoot.h"
#include "Touch.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace {

const QString Folder = QStringLiteral("/root/ORBELIN_Vn/Protocol/");
// The six values: the field that shows each and where its file keeps it.
const char *const Values[][3] = {
    {"DILUTION_FACTOR", "Dilution Factor", "Value"}, {"MIN_CELL_SIZE", "Min Cell Size", "Size"},
    {"MAX_CELL_SIZE", "Max Cell Size", "Size"}, {"ROUNDNESS", "Roundness", "Value"},
    {"DECLUSTERING_LEVEL", "Declustering Level", "Level"},
    {"DETECTION_SENSITIVITY", "Detection Sensitivity", "Value"}};
const QStringList BuiltIn{"2", "0.3", "50", "30", "7", "4"};

void writeProtocol(const QString &name, const QStringList &values = BuiltIn)
{
    for (int i = 0; i < 6; ++i)
        WritePrivateProfileString(Values[i][1], Values[i][2], values.at(i).toStdString(),
                                  (Folder + name + ".ini").toStdString());
}

QStringList stored(const QString &name)
{
    QStringList values;
    for (const auto &v : Values)
        values << iniValue(v[1], v[2], Folder + name + ".ini");
    return values;
}

QListWidget *list(QWidget *frame)
{
    return frame->findChild<QListWidget *>("LIST");
}

QStringList listed(QWidget *frame)
{
    QStringList names;
    for (const QListWidgetItem *item : list(frame)->findItems("*", Qt::MatchWildcard))
        names << item->text();
    return names;
}

QStringList shown(QWidget *frame)
{
    QStringList values;
    for (const auto &v : Values)
        values << frame->findChild<QLabel *>(QString("LABEL_") + v[0])->text();
    return values;
}

void select(QWidget *frame, const QString &name)
{
    const QList<QListWidgetItem *> items = list(frame)->findItems(name, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(name));
    list(frame)->setCurrentItem(items.first());
}

bool editing(QWidget *frame)
{
    return frame->findChild<QWidget *>("BUTTON_ROUNDNESS_UP")->isEnabled();
}

QLineEdit *field(QWidget *dialog)
{
    return dialog->findChild<QLineEdit *>("EDIT_FILENAME");
}

} // namespace

// The protocol screen and its SAVE AS name dialog.
class ProtocolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    // Before: "X.INI" was listed but could not be opened by the counting run.
    void listOnlyLowerCaseIniFilesByCharacterCode()
    {
        TestRoot root;
        for (const char *name : {"b", "A", "DEFAULT", "B", "a", "a-1", "a_1"})
            writeProtocol(name);
        root.writeFile(Folder + "X.INI", "");
        root.writeFile(Folder + "notes.txt", "");
        root.mkdir(Folder + "c.ini");
        ProtocolFrame frame;
        QCOMPARE(listed(&frame), (QStringList{"DEFAULT", "A", "B", "a-1", "a", "a_1", "b"}));
        QCOMPARE(list(&frame)->currentItem()->text(), QString("DEFAULT"));
        QVERIFY(!editing(&frame));
    }

    // The steppers stop at their limits, the minimum size below the maximum and the
    // maximum above the minimum.
    void steppersStopAtTheirLimits()
    {
        TestRoot root;
        writeProtocol("yeast");
        ProtocolFrame frame;
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        const QStringList touches = QString("MIN_CELL_SIZE_UP 80 MIN_CELL_SIZE_DOWN 45 MAX_CELL_SIZE_DOWN 80 "
                                            "DILUTION_FACTOR_DOWN 5 ROUNDNESS_UP 80").split(' ');
        for (int t = 0; t < touches.size(); t += 2) {
            for (int i = 0; i < touches.at(t + 1).toInt(); ++i)
                click(&frame, "BUTTON_" + touches.at(t));
        }
        QCOMPARE(shown(&frame), (QStringList{"1", "4", "5", "100", "7", "4"}));
    }

    // DEFAULT can be neither edited nor deleted; selecting it locks the steppers again.
    void defaultIsLocked()
    {
        TestRoot root;
        writeProtocol("yeast");
        ProtocolFrame frame;
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        select(&frame, "DEFAULT");
        for (const char *button : {"BUTTON_EDIT", "BUTTON_DELETE"}) {
            QString message;
            ModalAnswer::clickNext("BUTTON_OK", &message);
            click(&frame, button);
            QVERIFY2(message.contains("DEFAULT protocol cannot be edited or deleted"), button);
        }
        QVERIFY(!editing(&frame));
    }

    // Keys missing from a file and DEFAULT show the built-in values; LOAD writes the shown
    // values, edited or not, into the file (DEFAULT's too, for the gating screen).
    void loadWritesTheShownValues()
    {
        TestRoot root;
        root.writeFile(Folder + "yeast.ini", "[Dilution Factor]\nValue=10\n[Roundness]\nValue=40\n");
        writeProtocol("DEFAULT", {"9", "1", "9", "9", "9", "9"});
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        click(&frame, "BUTTON_ROUNDNESS_UP");
        for (const QString &name : {"yeast", "DEFAULT"}) {
            select(&frame, name);
            ModalAnswer::clickNext("BUTTON_OK");
            click(&frame, "BUTTON_LOAD");
            QCOMPARE(iniValue("Current Protocol", "Name"), name);
            QCOMPARE(spy.takeFirst().at(0).toString(), name);
        }
        QCOMPARE(stored("yeast"), (QStringList{"10", "0.3", "50", "41", "7", "4"}));
        QCOMPARE(stored("DEFAULT"), BuiltIn);
    }

    // SAVE AS under a listed name asks first; the current protocol stays either way.
    void saveAsExistingName_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("dilution");      // stored under the name afterwards
        QTest::newRow("replaced") << "BUTTON_OK" << "3";
        QTest::newRow("kept") << "BUTTON_CANCEL" << "9";
    }
    void saveAsExistingName()
    {
        QFETCH(QString, answer);
        TestRoot root;
        writeProtocol("yeast");
        writeProtocol("other", {"9", "0.3", "50", "30", "7", "4"});
        WritePrivateProfileString("Current Protocol", "Name", "yeast", SystemPaths::settings());
        ProtocolFrame frame;
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        click(&frame, "BUTTON_DILUTION_FACTOR_UP");
        bool closed = false;
        QString question;
        ModalAnswer::next([&](QWidget *modal) {
            field(modal)->clear();
            QTest::keyClicks(modal, "other");
            ModalAnswer::clickNext(answer, &question);
            QTest::keyClick(modal, Qt::Key_Enter);
            closed = !modal->isVisible();
            if (!closed)
                click(modal, "BUTTON_EXIT");
        });
        click(&frame, "BUTTON_SAVE_AS");
        QCOMPARE(closed, answer == "BUTTON_OK");
        QVERIFY(!question.isEmpty());
        QTEST(stored("other").at(0), "dilution");
        QCOMPARE(stored("yeast"), BuiltIn);
        QCOMPARE(iniValue("Current Protocol", "Name"), QString("yeast"));
    }

    void saveRefusesUnsafeNames()
    {
        TestRoot root;
        ProtocolFrame frame;
        QSignalSpy failed(&frame, &ProtocolFrame::signalSaveFailed);
        for (const QString &name : {QString("../escape"), QString("DEFAULT"), QString(),
                                    QString("a b"), QString(38, 'a')})
            frame.slotSave(name);
        QCOMPARE(failed.count(), 5);
        QCOMPARE(listed(&frame), QStringList{"DEFAULT"});
        QVERIFY(QDir(root.path(Folder)).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot
                                                 | QDir::Hidden));
        QVERIFY(!QFileInfo::exists(root.path("/root/ORBELIN_Vn/escape.ini")));
    }

    // DELETE asks first; deleting another than the current protocol keeps the current one
    // and shows the next.
    void deleteProtocol()
    {
        TestRoot root;
        for (const QString &name : {"a", "b", "c"})
            writeProtocol(name, {"2", "0.3", "50", name, "7", "4"});
        WritePrivateProfileString("Current Protocol", "Name", "a", SystemPaths::settings());
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        for (const char *answer : {"BUTTON_CANCEL", "BUTTON_OK"}) {
            select(&frame, "b");
            ModalAnswer::clickNext(answer);
            click(&frame, "BUTTON_DELETE");
        }
        QVERIFY(!QFile::exists(root.path(Folder + "b.ini")));
        QCOMPARE(listed(&frame), (QStringList{"DEFAULT", "a", "c"}));
        QCOMPARE(shown(&frame).at(3), QString("c"));
        QCOMPARE(iniValue("Current Protocol", "Name"), QString("a"));
        QCOMPARE(spy.count(), 0);
    }

    // Before: a file that could not be written or removed was reported as loaded, saved
    // or deleted.
    void diskFailuresAreReported()
    {
        TestRoot root;
        writeProtocol("yeast");
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(&frame, "yeast");
        // A folder where the file should be: it can be neither written nor removed.
        QFile::remove(root.path(Folder + "yeast.ini"));
        root.writeFile(Folder + "yeast.ini/keep", "x");

        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        click(&frame, "BUTTON_LOAD");
        QVERIFY2(message.contains("could not be loaded"), qPrintable(message));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(iniValue("Current Protocol", "Name"), QString("<missing>"));

        ModalAnswer::next([&message](QWidget *question) {
            ModalAnswer::clickNext("BUTTON_OK", &message);
            click(question, "BUTTON_OK");
        });
        click(&frame, "BUTTON_DELETE");
        QVERIFY2(message.contains("could not be deleted"), qPrintable(message));
        QCOMPARE(listed(&frame), (QStringList{"DEFAULT", "yeast"}));

        root.writeFile(Folder + "blocked.ini/keep", "x");
        QSignalSpy failed(&frame, &ProtocolFrame::signalSaveFailed);
        ModalAnswer::clickNext("BUTTON_OK", &message);
        frame.slotSave("blocked");
        QVERIFY2(message.contains("could not be saved"), qPrintable(message));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(listed(&frame), (QStringList{"DEFAULT", "yeast"}));
    }

    // Before: an attached keyboard typed straight into the field, any character included.
    void nameKeysAttached_data()
    {
        QTest::addColumn<QString>("typed");     // "^" before a letter: with Control; "<" BACK SPACE
        QTest::addColumn<QString>("text");
        QTest::newRow("letters, digits, - and _") << "Yeast2a-b_c" << "Yeast2a-b_c";
        QTest::newRow("path separators") << "../etc/x" << "etcx";
        QTest::newRow("blank, full stop, comma") << "a b.c,d" << "abcd";
        QTest::newRow("other characters") << QString::fromUtf8("*?%$\"'\\\xc3\xa4") << "";
        QTest::newRow("paste, select all") << "ab^v^a<" << "a";
        QTest::newRow("at most 37") << QString(40, 'x') << QString(37, 'x');
    }
    void nameKeysAttached()
    {
        QFETCH(QString, typed);
        QGuiApplication::clipboard()->setText("x/y");
        SaveAsDlg dialog{QString()};
        dialog.show();
        for (int i = 0; i < typed.size(); ++i) {
            if (typed.at(i) == '<')
                QTest::keyClick(field(&dialog), Qt::Key_Backspace);
            else if (typed.at(i) == '^')
                QTest::keyClick(field(&dialog), typed.at(++i).toLatin1(), Qt::ControlModifier);
            else if (typed.at(i).unicode() < 128)
                QTest::keyClicks(field(&dialog), typed.at(i));
            else
                QTest::sendKeyEvent(QTest::Click, field(&dialog), Qt::Key_unknown, typed.at(i), {});
        }
        QTEST(field(&dialog)->text(), "text");
    }

    void names_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");   // empty: saved
        QTest::newRow("typed name") << "" << "yeast-2_b" << "";
        QTest::newRow("DEFAULT typed") << "" << "DEFAULT" << "DEFAULT protocol cannot";
        QTest::newRow("empty name") << "" << "" << "1 to 37 letters";
        QTest::newRow("listed name with a blank") << "my protocol" << "" << "1 to 37 letters";
    }
    void names()
    {
        QFETCH(QString, initial);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        SaveAsDlg dialog(initial);
        dialog.show();
        QSignalSpy spy(&dialog, &SaveAsDlg::signalSave);
        QTest::keyClicks(&dialog, typed);
        QString shownMessage;
        if (!message.isEmpty())
            ModalAnswer::clickNext("BUTTON_OK", &shownMessage);
        QTest::keyClick(&dialog, Qt::Key_Enter);
        QCOMPARE(spy.count(), message.isEmpty() ? 1 : 0);
        QVERIFY2(shownMessage.contains(message), qPrintable(shownMessage));
        // Saved: waits for the protocol screen's answer; refused: open for another try.
        QCOMPARE(dialog.isEnabled(), !message.isEmpty());
        QVERIFY(dialog.isVisible());
        if (spy.count())
            QCOMPARE(spy.at(0).at(0).toString(), initial + typed);
    }

    // Before: Return from an attached keyboard ran the name check in the field and again
    // in the dialog, so one press stored the protocol twice.
    void returnPressedOnceSavesOnce()
    {
        SaveAsDlg dialog{QString()};
        dialog.show();
        QSignalSpy spy(&dialog, &SaveAsDlg::signalSave);
        connect(&dialog, &SaveAsDlg::signalSave, &dialog, &SaveAsDlg::slotSaveFailed);
        QTest::keyClicks(field(&dialog), "run1");
        QTest::keyClick(field(&dialog), Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        click(&dialog, "BUTTON_ENTER");
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(ProtocolTest)
#include "tst_Protocol.moc"
