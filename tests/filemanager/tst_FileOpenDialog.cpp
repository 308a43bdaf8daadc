#include "FileOpenDialog.h"
#include "FileSystemItem.h"
#include "FileSystemListWidget.h"
#include "FileSystemTreeWidget.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

class FileOpenDialogTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;

    enum Mode { Folder, File };

    // Runs an entry point; act works the dialog once it is up.
    static QString choose(Mode mode, std::function<void(FileOpenDialog *)> act)
    {
        FileOpenDialog dialog;
        ModalAnswer::next([act](QWidget *modal) {
            auto *d = static_cast<FileOpenDialog *>(modal);
            QApplication::setActiveWindow(d);
            if (QTest::qWaitForWindowActive(d))
                act(d);
            // A check that failed inside act must not leave the dialog open for ever.
            if (d->isVisible())
                d->done(QDialog::Rejected);
        });
        return mode == Folder ? dialog.getDirectoryOpenName() : dialog.getFileOpenName();
    }

    static FileSystemTreeWidget *tree(FileOpenDialog *d)
    {
        return d->findChild<FileSystemTreeWidget *>("DIR_VIEW_WIDGET");
    }
    static FileSystemListWidget *list(FileOpenDialog *d)
    {
        return d->findChild<FileSystemListWidget *>("FILE_VIEW_WIDGET");
    }
    static void click(FileOpenDialog *d, const char *button)
    {
        QTest::mouseClick(d->findChild<QPushButton *>(button), Qt::LeftButton);
    }

    static QStringList topRows(FileOpenDialog *d)
    {
        QStringList names;
        for (int i = 0; i < tree(d)->topLevelItemCount(); ++i)
            names << tree(d)->topLevelItem(i)->text(0);
        names.sort();
        return names;
    }

    static QStringList rows(FileOpenDialog *d)
    {
        QStringList names;
        for (int i = 0; i < list(d)->count(); ++i)
            names << list(d)->item(i)->text();
        return names;
    }

    // Touches a top-level row of the tree.
    static void touchTree(FileOpenDialog *d, const QString &name)
    {
        for (int i = 0; i < tree(d)->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = tree(d)->topLevelItem(i);
            if (item->text(0) == name) {
                QTest::mouseClick(tree(d)->viewport(), Qt::LeftButton, {},
                                  tree(d)->visualItemRect(item).center());
                return;
            }
        }
        QFAIL(qPrintable("no row " + name));
    }

    static void touchList(FileOpenDialog *d, const QString &name)
    {
        const QList<QListWidgetItem *> found = list(d)->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        QTest::mouseClick(list(d)->viewport(), Qt::LeftButton, {},
                          list(d)->visualItemRect(found.first()).center());
    }

    // Types a name on the new-folder keyboard and confirms it; the message box that may
    // follow is answered and its text kept.
    static void newFolder(FileOpenDialog *d, const QString &typed, QString *message)
    {
        ModalAnswer::next([typed, message](QWidget *keyboard) {
            if (!message->isNull())
                ModalAnswer::clickNext("BUTTON_OK", message);
            keyboard->findChild<QLineEdit *>("EDIT_TEXT")->setText(typed);
            QTest::mouseClick(keyboard->findChild<QPushButton *>("BUTTON_ENTER"), Qt::LeftButton);
        });
        click(d, "BUTTON_NEW_FOLDER");
    }

    void writePng(const QString &path) const
    {
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(Qt::red);
        QDir().mkpath(QFileInfo(m_Root->path(path)).absolutePath());
        QVERIFY(image.save(m_Root->path(path), "PNG"));
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Root.reset(new TestRoot);
        m_Volumes.reset(new Volumes(*m_Root, {"USB"}));
        m_Root->mkdir("/ORBELIN/run1/fields");
        m_Root->mkdir("/ORBELIN/run2");
        m_Root->mkdir("/media/USB/logos");
    }

    void cleanup()
    {
        m_Volumes.reset();
        m_Root.reset();
    }

    void folderFromTheTree()
    {
        QStringList shown;
        const QString path = choose(Folder, [&](FileOpenDialog *d) {
            shown = topRows(d);
            d->grab().save(QDir::currentPath() + "/screenshot-fileopendialog-folders.png");
            touchTree(d, "ORBELIN");
            QCOMPARE(rows(d), (QStringList{"run1", "run2"}));
            click(d, "BUTTON_OK");
        });
        QCOMPARE(shown, (QStringList{"ORBELIN", "USB"}));
        QCOMPARE(path, QString("/ORBELIN"));
    }

    // Tapping a folder in the list enters it and the tree follows; OK then takes it.
    void folderEnteredInTheList()
    {
        QString treeCurrent;
        const QString path = choose(Folder, [&](FileOpenDialog *d) {
            touchTree(d, "ORBELIN");
            touchList(d, "run1");
            QCOMPARE(rows(d), QStringList{"fields"});
            treeCurrent = static_cast<fs::FileSystemItem *>(tree(d)->currentItem())->filePath();
            click(d, "BUTTON_OK");
        });
        QCOMPARE(treeCurrent, QString("/ORBELIN/run1"));
        QCOMPARE(path, QString("/ORBELIN/run1"));
    }

    void cancelGivesNothing()
    {
        const QString path = choose(Folder, [](FileOpenDialog *d) {
            touchTree(d, "USB");
            click(d, "BUTTON_CANCEL");
        });
        QVERIFY(path.isEmpty());
    }

    void pngFromAStick()
    {
        writePng("/media/USB/logo.png");
        writePng("/media/USB/LOGO.PNG");
        writePng("/media/USB/b.png");
        QImage(4, 4, QImage::Format_RGB32).save(m_Root->path("/media/USB/photo.jpg"));
        m_Root->writeFile("/media/USB/damaged.png", "not an image");
        m_Root->writeFile("/media/USB/notes.txt", "n");

        QStringList shown, listed, afterFolder;
        bool okWithTree = true;
        const QString path = choose(File, [&](FileOpenDialog *d) {
            shown = topRows(d);
            touchTree(d, "USB");
            listed = rows(d);
            d->grab().save(QDir::currentPath() + "/screenshot-fileopendialog-files.png");
            // OK with the tree focused does nothing in the files view.
            click(d, "BUTTON_OK");
            okWithTree = d->isVisible();
            // The first row (a folder) is current: OK enters it.
            list(d)->setFocus();
            click(d, "BUTTON_OK");
            afterFolder = rows(d);
            writePng("/media/USB/logos/company.png");
            touchTree(d, "USB");
            touchList(d, "logo.png");
            click(d, "BUTTON_OK");
        });
        QCOMPARE(shown, QStringList{"USB"});
        QCOMPARE(listed, (QStringList{"logos", "b.png", "damaged.png", "logo.png"}));
        QVERIFY(okWithTree);
        QCOMPARE(afterFolder, QStringList());
        QCOMPARE(path, QString("/media/USB/logo.png"));
    }

    void noStickNoChoice()
    {
        QVERIFY(QDir(m_Root->path("/media/USB")).removeRecursively());
        const QString path = choose(File, [](FileOpenDialog *d) {
            QCOMPARE(tree(d)->topLevelItemCount(), 0);
            list(d)->setFocus();
            click(d, "BUTTON_OK");
            QVERIFY(d->isVisible());
            click(d, "BUTTON_CANCEL");
        });
        QVERIFY(path.isEmpty());
    }

    void newFolderNames_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("made");
        QTest::addColumn<bool>("refused");
        QTest::newRow("numbered on clashes") << QStringList{"Data", "Data", "Data"}
                                             << QStringList{"Data", "Data(1)", "Data(2)"} << false;
        QTest::newRow("blanks trimmed") << QStringList{"  Data 2  "} << QStringList{"Data 2"} << false;
        QTest::newRow("empty") << QStringList{"   "} << QStringList() << true;
        QTest::newRow("leading bar") << QStringList{"-x"} << QStringList() << true;
        QTest::newRow("trailing bar") << QStringList{"x-"} << QStringList() << true;
        QTest::newRow("leading dot") << QStringList{".x"} << QStringList() << true;
        QTest::newRow("trailing dot") << QStringList{"x."} << QStringList() << true;
        // Before: "a/b" made a folder inside another one, or failed silently.
        QTest::newRow("slash") << QStringList{"run2/x"} << QStringList() << true;
        QTest::newRow("colon") << QStringList{"12:30"} << QStringList() << true;
        QTest::newRow("star") << QStringList{"a*b"} << QStringList() << true;
        QTest::newRow("quote") << QStringList{"a\"b"} << QStringList() << true;
        QTest::newRow("backslash") << QStringList{"a\\b"} << QStringList() << true;
    }
    void newFolderNames()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, made);
        QFETCH(bool, refused);
        QStringList messages;
        QStringList listed;
        choose(Folder, [&](FileOpenDialog *d) {
            touchTree(d, "ORBELIN");
            for (const QString &name : typed) {
                QString message = refused ? QString("") : QString();
                newFolder(d, name, &message);
                if (refused)
                    messages << message;
            }
            listed = rows(d);
            click(d, "BUTTON_CANCEL");
        });
        QStringList onDisk = QDir(m_Root->path("/ORBELIN")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QStringList expected = QStringList{"run1", "run2"} + made;
        expected.sort();
        QCOMPARE(onDisk, expected);
        // New rows go at the end, unsorted.
        QCOMPARE(listed, (QStringList{"run1", "run2"} + made));
        for (const QString &message : messages)
            QCOMPARE(message, QString("<p><b>Error!</b><br/><br/>Unacceptable folder name is used.<br/>Please try again.</p>"));
        QCOMPARE(messages.size(), refused ? typed.size() : 0);
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run2/x")));
    }

    void keyboardClosedMakesNothing()
    {
        choose(Folder, [](FileOpenDialog *d) {
            touchTree(d, "ORBELIN");
            ModalAnswer::clickNext("BUTTON_CLOSE");
            click(d, "BUTTON_NEW_FOLDER");
            click(d, "BUTTON_CANCEL");
        });
        const QStringList folders =
            QDir(m_Root->path("/ORBELIN")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders, (QStringList{"run1", "run2"}));
    }

    // The chooser has no delete: Delete on its tree removes nothing.
    void deleteKeyDeletesNothing()
    {
        choose(Folder, [](FileOpenDialog *d) {
            touchTree(d, "ORBELIN");
            QTreeWidgetItem *orbelin = tree(d)->currentItem();
            tree(d)->setCurrentItem(orbelin->child(0));
            QTest::keyClick(tree(d), Qt::Key_Delete);
            QTest::keyClick(tree(d), Qt::Key_Backspace);
            click(d, "BUTTON_CANCEL");
        });
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run1/fields")));
    }

    // Before: every try of a name that could not be made was followed by another, without
    // end; a folder that cannot be written in makes nothing after a bounded number.
    void newFolderLoopIsBounded()
    {
        FileSystemListWidget list;
        list.setViewType(FileSystemListWidget::VIEW_FOLDERS);
        list.slotCurrentItemChanged("/ORBELIN/gone");
        QVERIFY(!list.createNewFolder("Data"));
        QCOMPARE(list.count(), 0);
    }
};

QTEST_MAIN(FileOpenDialogTest)
#include "tst_FileOpenDialog.moc"
