#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "Resources.h"
#include "ReviewOptionsDialog.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

class ReviewOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    static QString stored()
    {
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
    }

    static void store(const QString &value)
    {
        if (!value.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", value.toStdString(),
                                      "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    }

    // Runs the dialog as the settings screen does; touches toggles the switch, then the
    // dialog is left with BUTTON_CLOSE, or with Escape when escape is set.
    static int run(int touches, bool escape, bool *shownOn = nullptr)
    {
        ModalAnswer::next([=](QWidget *modal) {
            auto *toggle = modal->findChild<QPushButton *>("BUTTON_SCALEBAR_ENABLE");
            if (shownOn)
                *shownOn = toggle->isChecked();
            for (int i = 0; i < touches; ++i)
                QTest::mouseClick(toggle, Qt::LeftButton);
            if (escape)
                QTest::keyClick(modal, Qt::Key_Escape);
            else
                QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_CLOSE"),
                                  Qt::LeftButton);
        });
        ReviewOptionsDialog dialog;
        return dialog.exec();
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void closeStoresTheSwitch_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("touches");
        QTest::addColumn<bool>("shownOn");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("result");
        QTest::newRow("key missing: written as True, closed at once")
            << QString() << 0 << true << "True" << int(QDialog::Accepted);
        QTest::newRow("unknown value replaced by True")
            << "yes" << 0 << true << "True" << int(QDialog::Accepted);
        QTest::newRow("switched off")
            << "True" << 1 << true << "False" << int(QDialog::Rejected);
        QTest::newRow("switched on")
            << "False" << 1 << false << "True" << int(QDialog::Accepted);
        QTest::newRow("toggled three times: the last state is stored")
            << "True" << 3 << true << "False" << int(QDialog::Rejected);
        QTest::newRow("toggled twice: back where it was")
            << "False" << 2 << false << "False" << int(QDialog::Rejected);
    }
    void closeStoresTheSwitch()
    {
        QFETCH(QString, before);
        QFETCH(int, touches);
        QFETCH(bool, shownOn);
        QFETCH(QString, after);
        QFETCH(int, result);
        TestRoot root;
        store(before);
        bool shown = !shownOn;
        QCOMPARE(run(touches, false, &shown), result);
        QCOMPARE(shown, shownOn);
        QCOMPARE(stored(), after);
    }

    void openingRepairsTheKey()
    {
        TestRoot root;
        ReviewOptionsDialog dialog;
        QCOMPARE(stored(), QString("True"));
        QVERIFY(dialog.findChild<QPushButton *>("BUTTON_SCALEBAR_ENABLE")->isChecked());
    }

    // Escape used to reject without writing, so the screens hid the scale bar while the
    // file still said "True".
    void escapeClosesLikeTheCloseButton_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("touches");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("result");
        QTest::newRow("on, Escape") << "True" << 0 << "True" << int(QDialog::Accepted);
        QTest::newRow("on, toggled off, Escape") << "True" << 1 << "False" << int(QDialog::Rejected);
        QTest::newRow("off, toggled on, Escape") << "False" << 1 << "True" << int(QDialog::Accepted);
    }
    void escapeClosesLikeTheCloseButton()
    {
        QFETCH(QString, before);
        QFETCH(int, touches);
        QFETCH(QString, after);
        QFETCH(int, result);
        TestRoot root;
        store(before);
        QCOMPARE(run(touches, true), result);
        QCOMPARE(stored(), after);
    }

    void screenshot()
    {
        TestRoot root;
        store("True");
        ReviewOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString dir = qEnvironmentVariable("ORBELIN_BINARY_DIR", QDir::tempPath())
                            + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY(dialog.grab().save(dir + "/ReviewOptionsDialog.png"));
    }
};

QTEST_MAIN(ReviewOptionsDialogTest)
#include "tst_ReviewOptionsDialog.moc"
