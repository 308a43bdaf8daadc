#include "ModalAnswer.h"
#include "Resources.h"
#include "SystemInformationDialog.h"

#include <QLabel>
#include <QtTest>

class SystemInformationDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void showsFactsAndVersionUntilOk()
    {
        SystemInformationDialog dialog;
        dialog.setSoftwareVersion("1.0.3-IQOQ");
        QString shown;
        ModalAnswer::next([&shown](QWidget *modal) {
            for (const QLabel *label : modal->findChildren<QLabel *>())
                shown += label->text() + '\n';
            modal->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-systeminformation.png"));
            QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_OK"), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_SOFTWARE_VERSION")->text(),
                 QString("1.0.3-IQOQ"));
        for (const char *fact : {"ORBELIN Vn", "3.75 um", "10x", "0.375 um"})
            QVERIFY2(shown.contains(fact), fact);
    }
};

QTEST_MAIN(SystemInformationDialogTest)
#include "tst_SystemInformationDialog.moc"
