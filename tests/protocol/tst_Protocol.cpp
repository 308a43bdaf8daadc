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

const QString Folder = QStringLiteral("/root/ORBELIN_Vn/Protocol/");
const char Settings[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
// The six values: the field that shows each and where its file keeps it.
const char *const Values[][3] = {
    {"DILUTION_FACTOR", "Dilution Factor", "Value"}, {"MIN_CELL_SIZE", "Min Cell Size", "Size"},
    {"MAX_CELL_SIZE", "Max Cell Size", "Size"}, {"ROUNDNESS", "Roundness", "Value"},
    {"DECLUSTERING_LEVEL", "Declustering Level", "Level"},
    {"DETECTION_SENSITIVITY", "Detection Sensitivity", "Value"}};
const QStringList BuiltIn{"2", "0.3", "50", "30", "7", "4"};

QString read(const QString &path, const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, path.toStdString());
    return QString::fromStdString(value);
}

QString currentProtocol()
{
    return read(Settings, "Current Protocol", "Name");
}

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
        values << read(Folder + name + ".ini", v[1], v[2]);
    return values;
}

QListWidget *list(QWidget *frame)
{
    return frame->findChild<QListWidget *>("LIST");
}

QStringList listed(QWidget *frame)
{
    QStringList names;
    for (int i = 0; i < list(frame)->count(); ++i)
        names << list(frame)->item(i)->text();
    return names;
}

QStringList shown(QWidget *frame)
{
    QStringList values;
    for (const auto &v : Values)
        values << frame->findChild<QLabel *>(QStringLiteral("LABEL_") + v[0])->text();
    return values;
}

void select(QWidget *frame, const QString &name)
{
    const QList<QListWidgetItem *> items = list(frame)->findItems(name, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(name));
    list(frame)->setCurrentItem(items.first());
}

void click(QWidget *widget, const QString &button)
{
    auto *b = widget->findChild<QPushButton *>(button);
    QVERIFY2(b, qPrintable(button));
    QTest::mouseClick(b, Qt::LeftButton);
}

bool editing(QWidget *frame)
{
    return frame->findChild<QPushButton *>("BUTTON_ROUNDNESS_UP")->isEnabled();
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

    void shownValues_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("missing keys: built-in values") << "partial"
                                                       << QStringList{"2", "0.3", "50", "55", "7", "4"};
        QTest::newRow("values kept as written")
            << "written" << QStringList{"0020", "0.30", "12.50", "abc", "7", "4"};
        QTest::newRow("DEFAULT ignores DEFAULT.ini") << "DEFAULT" << BuiltIn;
    }
    void shownValues()
    {
        QFETCH(QString, entry);
        TestRoot root;
        root.writeFile(Folder + "partial.ini", "[Roundness]\nValue=55\n");
        writeProtocol("written", {"0020", "0.30", "12.50", "abc", "7", "4"});
        writeProtocol("DEFAULT", {"9", "1", "9", "9", "9", "9"});
        ProtocolFrame frame;
        select(&frame, "written");
        select(&frame, entry);
        QTEST(shown(&frame), "values");
    }

    void steppers_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("other");     // the other size field, for the sizes
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("touches");
        QTest::addColumn<QString>("result");
        const QString D = "DILUTION_FACTOR", MIN = "MIN_CELL_SIZE", MAX = "MAX_CELL_SIZE";
        QTest::newRow("dilution 9 up") << D << "9" << "" << "UP" << 1 << "10";
        QTest::newRow("dilution to the top") << D << "1" << "" << "UP" << 60 << "20000";
        QTest::newRow("dilution to the bottom") << D << "20000" << "" << "DOWN" << 60 << "1";
        QTest::newRow("dilution of text up") << D << "x" << "" << "UP" << 1 << "1";
        QTest::newRow("min 0.3 down") << MIN << "0.3" << "50" << "DOWN" << 1 << "0.3";
        QTest::newRow("min 0.30 up") << MIN << "0.30" << "50" << "UP" << 1 << "0.4";
        QTest::newRow("min stops below max 1") << MIN << "0.3" << "1" << "UP" << 20 << "0.9";
        QTest::newRow("max 50 up") << MAX << "50" << "0.3" << "UP" << 1 << "50";
        QTest::newRow("max stops above min 5") << MAX << "50" << "5" << "DOWN" << 80 << "6";
        QTest::newRow("roundness at the top") << "ROUNDNESS" << "100" << "" << "UP" << 1 << "100";
        QTest::newRow("roundness at 0") << "ROUNDNESS" << "0" << "" << "DOWN" << 1 << "0";
        QTest::newRow("sensitivity at the top") << "DETECTION_SENSITIVITY" << "9" << "" << "UP"
                                                << 1 << "9";
    }
    void steppers()
    {
        QFETCH(QString, field);
        QFETCH(QString, other);
        QFETCH(int, touches);
        TestRoot root;
        writeProtocol("yeast");
        ProtocolFrame frame;
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        QFETCH(QString, start);
        frame.findChild<QLabel *>("LABEL_" + field)->setText(start);
        if (!other.isEmpty())
            frame.findChild<QLabel *>(field == "MIN_CELL_SIZE" ? "LABEL_MAX_CELL_SIZE"
                                                               : "LABEL_MIN_CELL_SIZE")
                ->setText(other);
        QFETCH(QString, button);
        for (int i = 0; i < touches; ++i)
            click(&frame, "BUTTON_" + field + "_" + button);
        QTEST(frame.findChild<QLabel *>("LABEL_" + field)->text(), "result");
    }

    // DEFAULT is locked; another protocol's steppers work until another entry is selected,
    // which shows its stored values again.
    void editState()
    {
        TestRoot root;
        writeProtocol("yeast");
        ProtocolFrame frame;
        for (const char *button : {"BUTTON_EDIT", "BUTTON_DELETE"}) {
            QString message;
            ModalAnswer::clickNext("BUTTON_OK", &message);
            click(&frame, button);
            QVERIFY2(message.contains("DEFAULT protocol cannot be edited or deleted"), button);
        }
        QVERIFY(!editing(&frame));
        QCOMPARE(listed(&frame), (QStringList{"DEFAULT", "yeast"}));
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        click(&frame, "BUTTON_ROUNDNESS_UP");
        QCOMPARE(shown(&frame).at(3), QString("31"));
        select(&frame, "DEFAULT");
        QVERIFY(!editing(&frame));
        select(&frame, "yeast");
        QCOMPARE(shown(&frame).at(3), QString("30"));
    }

    // LOAD writes the shown values, edited or not, into the file; DEFAULT gets a file with
    // the built-in values, for the gating screen.
    void loadWritesTheShownValues()
    {
        TestRoot root;
        writeProtocol("yeast", {"10", "0.30", "20", "40", "5", "3"});
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        click(&frame, "BUTTON_ROUNDNESS_UP");
        for (const QString &name : {"yeast", "DEFAULT"}) {
            select(&frame, name);
            ModalAnswer::clickNext("BUTTON_OK");
            click(&frame, "BUTTON_LOAD");
            QCOMPARE(currentProtocol(), name);
            QCOMPARE(spy.takeFirst().at(0).toString(), name);
        }
        QCOMPARE(stored("yeast"), (QStringList{"10", "0.30", "20", "41", "5", "3"}));
        QCOMPARE(stored("DEFAULT"), BuiltIn);
    }

    // SAVE AS stores the shown values under the typed name; the current protocol stays.
    void saveAs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("replace");   // answer to the replace question
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("closed");
        const QStringList edited{"3", "0.3", "50", "30", "7", "4"};
        QTest::newRow("new name") << "Algae_2" << "" << edited << true;
        QTest::newRow("existing name replaced") << "other" << "BUTTON_OK" << edited << true;
        QTest::newRow("existing name kept") << "other" << "BUTTON_CANCEL"
                                            << QStringList{"9", "0.3", "50", "30", "7", "4"}
                                            << false;
    }
    void saveAs()
    {
        QFETCH(QString, name);
        QFETCH(QString, replace);
        TestRoot root;
        writeProtocol("yeast");
        writeProtocol("other", {"9", "0.3", "50", "30", "7", "4"});
        WritePrivateProfileString("Current Protocol", "Name", "yeast", Settings);
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(&frame, "yeast");
        click(&frame, "BUTTON_EDIT");
        click(&frame, "BUTTON_DILUTION_FACTOR_UP");
        bool closed = false;
        QString question;
        ModalAnswer::next([&](QWidget *modal) {
            field(modal)->clear();
            QTest::keyClicks(modal, name);
            if (!replace.isEmpty())
                ModalAnswer::clickNext(replace, &question);
            QTest::keyClick(modal, Qt::Key_Enter);
            closed = !modal->isVisible();
            if (!closed)
                click(modal, "BUTTON_EXIT");
        });
        click(&frame, "BUTTON_SAVE_AS");
        QTEST(closed, "closed");
        QCOMPARE(question.isEmpty(), replace.isEmpty());
        QTEST(stored(name), "stored");
        QCOMPARE(listed(&frame).count(name), 1);
        QCOMPARE(stored("yeast"), BuiltIn);
        QCOMPARE(list(&frame)->currentItem()->text(), QString("yeast"));
        QCOMPARE(currentProtocol(), QString("yeast"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!editing(&frame));
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

    void deleteProtocol_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("currentBefore");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QString>("currentAfter");
        QTest::newRow("the current one: DEFAULT") << "b" << "b" << "DEFAULT" << "DEFAULT";
        QTest::newRow("another one: the next") << "b" << "c" << "c" << "c";
        QTest::newRow("the last one: the previous") << "c" << "a" << "b" << "a";
        QTest::newRow("cancelled") << "b" << "b" << "b" << "b";
    }
    void deleteProtocol()
    {
        QFETCH(QString, selected);
        QFETCH(QString, currentBefore);
        QFETCH(QString, shownAfter);
        TestRoot root;
        for (const QString &name : {"a", "b", "c"})
            writeProtocol(name, {"2", "0.3", "50", name, "7", "4"});
        WritePrivateProfileString("Current Protocol", "Name", currentBefore.toStdString(),
                                  Settings);
        ProtocolFrame frame;
        QSignalSpy spy(&frame, &ProtocolFrame::signalSetCurrentProtocol);
        select(&frame, selected);
        const bool cancel = QTest::currentDataTag() == QLatin1String("cancelled");
        ModalAnswer::clickNext(cancel ? "BUTTON_CANCEL" : "BUTTON_OK");
        click(&frame, "BUTTON_DELETE");
        QCOMPARE(QFile::exists(root.path(Folder + selected + ".ini")), cancel);
        QCOMPARE(listed(&frame).contains(selected), cancel);
        QCOMPARE(list(&frame)->currentItem()->text(), shownAfter);
        QCOMPARE(shown(&frame).at(3), shownAfter == "DEFAULT" ? QString("30") : shownAfter);
        QTEST(currentProtocol(), "currentAfter");
        QCOMPARE(spy.count(), shownAfter == "DEFAULT" ? 1 : 0);
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
        QCOMPARE(currentProtocol(), QString("<missing>"));

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

    void nameKeysOnScreen()
    {
        SaveAsDlg dialog{QString()};
        dialog.show();
        for (const QString &key : QString("A B BAR 1 UNDERBAR SHIFT C SPACE D D BACKSPACE").split(' '))
            click(&dialog, "BUTTON_" + key);
        QCOMPARE(field(&dialog)->text(), QString("ab-1_CD"));
    }

    // Before: an attached keyboard typed straight into the field, any character included.
    void nameKeysAttached_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("letters, digits, - and _") << "Yeast2a-b_c" << "Yeast2a-b_c";
        QTest::newRow("path separators") << "../etc/x" << "etcx";
        QTest::newRow("blank, full stop, comma") << "a b.c,d" << "abcd";
        QTest::newRow("other characters") << "*?%$\"'\\" << "";
        QTest::newRow("at most 37") << QString(40, 'x') << QString(37, 'x');
    }
    void nameKeysAttached()
    {
        QFETCH(QString, typed);
        SaveAsDlg dialog{QString()};
        dialog.show();
        QTest::keyClicks(field(&dialog), typed);
        QTEST(field(&dialog)->text(), "text");
    }

    void nameControlKeysAndNonAsciiTypeNothing()
    {
        SaveAsDlg dialog("abc");
        dialog.show();
        QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("\xc3\xa4"));
        QCoreApplication::sendEvent(field(&dialog), &umlaut);
        QTest::keyClick(field(&dialog), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field(&dialog), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field(&dialog), Qt::Key_Backspace);
        QCOMPARE(field(&dialog)->text(), QString("ab"));
    }

    void names_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");   // empty: saved
        QTest::newRow("typed name") << "" << "yeast-2_b" << "";
        QTest::newRow("lower-case default is a name") << "" << "default" << "";
        QTest::newRow("DEFAULT typed") << "" << "DEFAULT" << "DEFAULT protocol cannot";
        QTest::newRow("DEFAULT unchanged") << "DEFAULT" << "" << "DEFAULT protocol cannot";
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

    void escapeKeepsNameDialogOpen()
    {
        SaveAsDlg dialog("yeast");
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(field(&dialog), Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        click(&dialog, "BUTTON_EXIT");
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(ProtocolTest)
#include "tst_Protocol.moc"
