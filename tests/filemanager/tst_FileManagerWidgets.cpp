#include "FileOpenDialog.h"
#include "FileOperationDialog.h"
#include "FileOperator.h"
#include "FileSystemItem.h"
#include "FileSystemListWidget.h"
#include "FileSystemTreeWidget.h"
#include "FolderWatch.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>
#include <sys/stat.h>

using fs::FileSystemItem;

// The file manager's widgets on a data folder and two sticks: the tree nodes, the tree, the
// paste progress dialog and the chooser.
class FileManagerWidgetsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;
    std::unique_ptr<FileSystemTreeWidget> m_Tree;

    void build(bool registerORBELIN = true)
    {
        m_Tree.reset(new FileSystemTreeWidget);
        m_Tree->setRegisterORBELIN(registerORBELIN);
        m_Tree->initialize();
        m_Tree->resize(300, 500);
        m_Tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Tree.get()));
    }

    FileSystemItem *row(const QString &path) const { return Volumes::row(m_Tree.get(), path); }

    QStringList rows() const
    {
        QStringList paths;
        for (int i = 0; i < m_Tree->topLevelItemCount(); ++i)
            paths << static_cast<FileSystemItem *>(m_Tree->topLevelItem(i))->filePath();
        return paths;
    }

    void select(const QString &path)
    {
        m_Tree->clearSelection();
        m_Tree->setCurrentItem(row(path));
    }

    QStringList childNames(const QString &path) const
    {
        const FileSystemItem *node = row(path);
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i)
            names << node->child(i)->item().name;
        names.sort();
        return names;
    }

    // Filled pixels of the progress bar's middle line.
    static int filledPixels(FileOperationDialog &dialog)
    {
        const QImage image = dialog.grab().toImage();
        int filled = 0;
        for (int x = 130; x < 700; ++x)
            filled += image.pixelColor(x, 364) == QColor(84, 218, 255);
        return filled;
    }

    // Runs a chooser entry point; act works the dialog once it is up.
    static QString choose(bool folder, std::function<void(FileOpenDialog *)> act)
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
        return folder ? dialog.getDirectoryOpenName() : dialog.getFileOpenName();
    }

    static FileSystemTreeWidget *tree(FileOpenDialog *d)
    {
        return d->findChild<FileSystemTreeWidget *>("DIR_VIEW_WIDGET");
    }
    static FileSystemListWidget *list(FileOpenDialog *d)
    {
        return d->findChild<FileSystemListWidget *>("FILE_VIEW_WIDGET");
    }
    template<typename Dialog>
    static void click(Dialog *d, const char *button)
    {
        QTest::mouseClick(d->template findChild<QPushButton *>(button), Qt::LeftButton);
    }

    static QStringList listed(FileOpenDialog *d)
    {
        QStringList names;
        for (int i = 0; i < list(d)->count(); ++i)
            names << list(d)->item(i)->text();
        return names;
    }

    // Touches a row of the chooser's tree or list.
    static void touch(FileOpenDialog *d, const QString &path)
    {
        if (path.startsWith('/')) {
            FileSystemItem *node = Volumes::row(tree(d), path);
            QVERIFY2(node, qPrintable(path));
            QTest::mouseClick(tree(d)->viewport(), Qt::LeftButton, {},
                              tree(d)->visualItemRect(node).center());
            return;
        }
        const QList<QListWidgetItem *> found = list(d)->findItems(path, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(path));
        QTest::mouseClick(list(d)->viewport(), Qt::LeftButton, {},
                          list(d)->visualItemRect(found.first()).center());
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Root.reset(new TestRoot);
        m_Volumes.reset(new Volumes(*m_Root, {"USB", "USB (1)"}));
        // Bounds a paste that the write-back wait holds open.
        FileOperator::setWriteBackTimeout(10000);
    }

    void cleanup()
    {
        m_Tree.reset();
        m_Volumes.reset();
        m_Root.reset();
    }

    // ---- tree nodes

    // One level is listed at once; hidden entries, broken links and pipes never show.
    void nodesListOneLevel()
    {
        m_Root->writeFile("/media/USB/run1/01_RAW.tif", "raw");
        m_Root->writeFile("/media/USB/run1/deeper/x.txt", "x");
        m_Root->writeFile("/media/USB/report.pdf", "pdf");
        m_Root->writeFile("/media/USB/.hidden", "h");
        QVERIFY(QFile::link(m_Root->path("/media/USB/nowhere"), m_Root->path("/media/USB/broken")));
        QVERIFY(QFile::link(m_Root->path("/media/USB/run1"), m_Root->path("/media/USB/runlink")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_Root->path("/media/USB/pipe")).constData(), 0600), 0);

        build();
        QCOMPARE(childNames("/media/USB"), QStringList({"report.pdf", "run1", "runlink"}));
        QVERIFY(row("/media/USB/report.pdf")->isHidden());
        FileSystemItem *run = row("/media/USB/run1");
        QVERIFY(!run->isHidden());
        QCOMPARE(run->childCount(), 0);
        // Selecting lists the next level, once.
        run->slotCurrentItemChanged(run, nullptr);
        run->slotCurrentItemChanged(run, nullptr);
        QCOMPARE(childNames("/media/USB/run1"), QStringList({"01_RAW.tif", "deeper"}));
    }

    void nodesFollowTheDisk()
    {
        m_Root->mkdir("/media/USB/run1");
        build();
        FileSystemItem *run = row("/media/USB/run1");
        // Files in a folder never selected still arrive.
        for (const char *name : {"a.tif", "b.tif", "c.csv"})
            m_Root->writeFile(QString("/media/USB/run1/") + name, "x");
        QTRY_COMPARE(run->childCount(), 3);
        m_Root->mkdir("/media/USB/run2/inner");
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run1", "run2"}));
        QVERIFY(QFile::remove(m_Root->path("/media/USB/run1/b.tif")));
        QTRY_COMPARE(childNames("/media/USB/run1"), QStringList({"a.tif", "c.csv"}));

        // The subtree goes with its folder; the kernel forgets a deleted folder, and the
        // same name made again is followed anew.
        QVERIFY(row("/media/USB/run2/inner"));
        QVERIFY(QDir(m_Root->path("/media/USB/run2")).removeRecursively());
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run1"}));
        m_Root->writeFile("/media/USB/run2/a.tif", "a");
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run1", "run2"}));
        m_Root->writeFile("/media/USB/run2/b.tif", "b");
        QTRY_COMPARE(row("/media/USB/run2")->childCount(), 2);
    }

    // Every folder node watches its folder; the kernel allows only so many watcher
    // instances per user, so they must share one.
    void manyFoldersShareOneWatcher()
    {
        for (int i = 0; i < 300; ++i)
            m_Root->mkdir(QString("/media/USB/f%1").arg(i));
        const auto inotifyInstances = []() {
            int count = 0;
            for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System))
                count += fd.symLinkTarget().contains("inotify");
            return count;
        };
        const int before = inotifyInstances();
        build();
        QCOMPARE(row("/media/USB")->childCount(), 300);
        QCOMPARE(FolderWatch::sharedWatcherCount(), 1);
        QVERIFY2(inotifyInstances() <= before + 1, "one kernel watcher for all folders");
        m_Root->writeFile("/media/USB/f299/new.tif", "x");
        QTRY_COMPARE(row("/media/USB/f299")->childCount(), 1);
        m_Tree.reset();
        QCOMPARE(FolderWatch::sharedWatcherCount(), 0);
    }

    // A link back to its own folder is listed one level per selection, never walked.
    void linkLoopIsListedLazily()
    {
        m_Root->mkdir("/ORBELIN/a");
        QVERIFY(QFile::link(m_Root->path("/ORBELIN/a"), m_Root->path("/ORBELIN/a/loop")));
        build();
        FileSystemItem *loop = row("/ORBELIN/a/loop");
        QVERIFY(loop);
        QCOMPARE(loop->childCount(), 0);
        QVERIFY(row("/ORBELIN/a/loop/loop"));
        QCOMPARE(loop->childCount(), 1);
    }

    // ---- the tree

    void volumeRowsComeAndGo()
    {
        m_Root->mkdir("/orbelin_backup");
        m_Root->writeFile("/ORBELIN.txt", "not a folder");
        m_Root->mkdir("/other");
        build(true);
        // Data folders first, then the sticks.
        QStringList shown = rows();
        std::sort(shown.begin(), shown.begin() + 2);
        std::sort(shown.begin() + 2, shown.end());
        QCOMPARE(shown, (QStringList{"/ORBELIN", "/orbelin_backup", "/media/USB", "/media/USB (1)"}));
        m_Root->mkdir("/media/NEW");
        QTRY_COMPARE(rows().last(), QString("/media/NEW"));
        // The chooser's tree: sticks only.
        build(false);
        QCOMPARE(rows().filter("/media/").size(), 3);
        QCOMPARE(rows().size(), 3);
        // A stick pulled and another mounted in one change: the same count of rows.
        QVERIFY(QDir().rename(m_Root->path("/media/NEW"), m_Root->path("/media/SWAP")));
        QTRY_VERIFY(rows().contains("/media/SWAP"));
        QVERIFY(!rows().contains("/media/NEW"));
    }

    // Before: "/media/USB" was taken for the volume of "/media/USB (1)/run", so pulling USB
    // moved the selection away from the other stick.
    void pulledStickMovesOnlyItsOwnRows()
    {
        m_Root->mkdir("/media/USB/run");
        m_Root->mkdir("/media/USB (1)/run/deep");
        build();
        FileSystemItem *current = row("/media/USB (1)/run/deep");
        m_Tree->setCurrentItem(current);
        QSignalSpy changed(m_Tree.get(), &FileSystemTreeWidget::signalCurrentItemChanged);
        QVERIFY(QDir(m_Root->path("/media/USB")).removeRecursively());
        QTRY_COMPARE(rows().size(), 2);
        QCOMPARE(m_Tree->currentItem(), static_cast<QTreeWidgetItem *>(current));
        QCOMPARE(changed.count(), 0);
        // The pulled stick's own row is made current before it goes; then the tree's choice.
        QVERIFY(QDir(m_Root->path("/media/USB (1)")).removeRecursively());
        QTRY_COMPARE(rows().size(), 1);
        QCOMPARE(changed.first().first().toString(), QString("/media/USB (1)"));
        auto *now = static_cast<FileSystemItem *>(m_Tree->currentItem());
        QCOMPARE(changed.last().first().toString(), now ? now->filePath() : QString());
    }

    void clipboard()
    {
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run2/b.txt", "b");
        build();
        m_Tree->copy();
        QCOMPARE(m_Tree->clipboard().paths, QStringList());     // no current row
        m_Tree->setSelectionMode(QAbstractItemView::MultiSelection);
        row("/ORBELIN/run1")->setSelected(true);
        row("/ORBELIN/run2")->setSelected(true);
        m_Tree->setCurrentItem(row("/ORBELIN/run2"), 0, QItemSelectionModel::NoUpdate);
        m_Tree->copy();
        QCOMPARE(m_Tree->clipboard().mode, 0);
        QCOMPARE(m_Tree->clipboard().paths, (QStringList{"/ORBELIN/run1", "/ORBELIN/run2"}));
        // Nothing selected that exists: an earlier copy becomes a cut of the same paths.
        m_Tree->clearSelection();
        m_Tree->cut();
        QCOMPARE(m_Tree->clipboard().mode, 1);
        QCOMPARE(m_Tree->clipboard().paths, (QStringList{"/ORBELIN/run1", "/ORBELIN/run2"}));
        QSignalSpy cleared(m_Tree.get(), &FileSystemTreeWidget::signalClearClipboard);
        QVERIFY(QDir(m_Root->path("/ORBELIN/run2")).removeRecursively());
        m_Tree->setCurrentItem(row("/media/USB"));
        QCOMPARE(cleared.count(), 1);
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("mode");          // clipboard mode afterwards, -1 empty
        QTest::addColumn<bool>("eraseAsked");
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier) << 1 << false;
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << 0 << false;
        QTest::newRow("Ctrl+Shift+X") << int(Qt::Key_X) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                      << -1 << false;
        QTest::newRow("X") << int(Qt::Key_X) << 0 << -1 << false;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << -1 << true;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << -1 << true;
    }
    // Before: Delete and Backspace deleted the folder at once, with no question and in
    // security mode too. Now they only ask the owner, and nothing on a volume row.
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, mode);
        QFETCH(bool, eraseAsked);
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        build();
        QSignalSpy asked(m_Tree.get(), &FileSystemTreeWidget::signalEraseRequested);
        select("/ORBELIN");
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(asked.count(), 0);
        select("/ORBELIN/run1");
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_Tree->clipboard().paths.isEmpty(), mode < 0);
        if (mode >= 0)
            QCOMPARE(m_Tree->clipboard().mode, mode);
        QCOMPARE(asked.count(), eraseAsked ? 1 : 0);
        QVERIFY(QFile::exists(m_Root->path("/ORBELIN/run1/a.txt")));
    }

    void erase()
    {
        m_Root->writeFile("/ORBELIN/run1/sub/a.txt", "a");
        m_Root->writeFile("/ORBELIN/keep/k.txt", "k");
        QVERIFY(QFile::link(m_Root->path("/ORBELIN/keep"), m_Root->path("/ORBELIN/link")));
        build();
        // A link goes by itself; what it points to stays.
        select("/ORBELIN/link");
        m_Tree->erase();
        QVERIFY(!QFileInfo(m_Root->path("/ORBELIN/link")).isSymLink());
        QCOMPARE(m_Root->readFile("/ORBELIN/keep/k.txt"), QByteArray("k"));
        select("/ORBELIN/run1");
        m_Tree->erase();
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1")));
        QTRY_VERIFY(!row("/ORBELIN/run1"));
        // A volume row is never deleted, nor a path outside the volumes.
        select("/ORBELIN");
        m_Tree->erase();
        m_Tree->erase("/ORBELIN");
        m_Tree->erase("/etc");
        QVERIFY(QFile::exists(m_Root->path("/ORBELIN/keep/k.txt")));
        QVERIFY(QFile::exists(m_Root->path("/etc/mtab")));
    }

    void pasteThroughTheDialog()
    {
        m_Root->writeFile("/ORBELIN/run1/01_RAW.tif", QByteArray(50000, 'r'));
        m_Root->writeFile("/media/USB/note.txt", "n");
        build();
        select("/ORBELIN/run1");
        m_Tree->copy();
        // Onto a file: into its folder.
        select("/media/USB/note.txt");
        QVERIFY(m_Tree->paste());
        QCOMPARE(m_Root->readFile("/media/USB/run1/01_RAW.tif"), QByteArray(50000, 'r'));
        QTRY_VERIFY(row("/media/USB/run1"));

        // Pasting a folder into itself: the dialog shows why, OK closes it.
        select("/ORBELIN/run1");
        QString text;
        ModalAnswer::next([&text](QWidget *modal) {
            auto *ok = modal->findChild<QPushButton *>("BUTTON_OK");
            QTRY_VERIFY(ok->isVisible());
            text = modal->findChild<QLabel *>("LABEL_MESSAGE")->text();
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QVERIFY(!m_Tree->paste());
        QVERIFY(text.contains("Cannot paste files within the same folder."));
    }

    // Before: Escape closed the progress dialog and a second paste could start beside the
    // first.
    void oneRunningPasteAtATime()
    {
        m_Root->writeFile("/ORBELIN/run/a.txt", "a");
        Volumes::setMeminfo(*m_Root, 100, 0);  // the write-back wait holds the paste open
        build();
        select("/ORBELIN/run");
        m_Tree->copy();
        select("/media/USB");
        bool secondPaste = true;
        bool stillOpen = false;
        ModalAnswer::next([&](QWidget *modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            stillOpen = !modal->close() && modal->isVisible();
            secondPaste = m_Tree->paste();
            Volumes::setMeminfo(*m_Root, 0, 0);
        });
        QVERIFY(m_Tree->paste());
        QVERIFY(stillOpen);
        QVERIFY(!secondPaste);
        QCOMPARE(m_Root->readFile("/media/USB/run/a.txt"), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run(1)")));
    }

    // ---- the paste's progress dialog

    void progressBar_data()
    {
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("current");
        QTest::addColumn<int>("filled");
        // The outline's two sides are in the bar's colour too.
        QTest::newRow("empty") << quint64(1000) << quint64(0) << 2;
        QTest::newRow("quarter") << quint64(1000) << quint64(250) << 125 + 1;
        QTest::newRow("half of 12 GiB") << (quint64(12) << 30) << (quint64(6) << 30) << 251 + 1;
        QTest::newRow("more than all") << quint64(1000) << quint64(1500) << 502 + 1;
        QTest::newRow("nothing to copy") << quint64(0) << quint64(0) << 2;
    }
    void progressBar()
    {
        QFETCH(quint64, total);
        QFETCH(quint64, current);
        FileOperationDialog dialog;
        dialog.start();
        dialog.slotSetTotalFileCountAndSize(3, total);
        dialog.slotSetCurrentFileCountAndSize(1, current);
        QTEST(filledPixels(dialog), "filled");
    }

    // Before: Escape in the moment before the dialog went rejected a completed paste.
    void escapeAfterCompletionKeepsItAccepted()
    {
        FileOperationDialog dialog;
        dialog.start();
        QTimer::singleShot(0, &dialog, [&dialog]() {
            dialog.slotCompleted();
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }

    void pasteErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "Cannot paste files within the same folder.";
        QTest::newRow("2") << 2 << "Insufficient Disk Space";
        QTest::newRow("3") << 3 << "The designated destination could not be found.";
        QTest::newRow("4") << 4 << "could not be copied.<br/>They were left where they were.";
    }
    void pasteErrors()
    {
        QFETCH(int, error);
        QFETCH(QString, text);
        FileOperationDialog dialog;
        dialog.start();
        dialog.slotSetTotalFileCountAndSize(1, 100);
        dialog.slotSetCurrentFileCountAndSize(1, 50);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.slotPasteError(FileOperationPasteError(error));
        auto *ok = dialog.findChild<QPushButton *>("BUTTON_OK");
        QTRY_VERIFY(ok->isVisible());
        const QString message = dialog.findChild<QLabel *>("LABEL_MESSAGE")->text();
        QVERIFY2(message.contains(text), qPrintable(message));
        QCOMPARE(filledPixels(dialog), 0);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // The next paste starts clean.
        dialog.initialize();
        dialog.start();
        QVERIFY(!ok->isVisibleTo(&dialog));
    }

    // ---- the chooser

    // New folders are numbered on clashes, odd names refused, and the chooser has no
    // delete; tapping a folder in the list enters it and the tree follows; OK takes it.
    void chooseAFolder()
    {
        m_Root->mkdir("/ORBELIN/run1/fields");
        m_Root->mkdir("/ORBELIN/run2");
        QStringList messages, shown;
        choose(true, [&](FileOpenDialog *d) {
            touch(d, "/ORBELIN");
            for (const QString &typed : {"  Data ", "Data", "a/b"}) {
                ModalAnswer::next([typed, &messages](QWidget *keyboard) {
                    if (typed == "a/b")
                        ModalAnswer::next([&messages](QWidget *box) {
                            messages << ModalAnswer::messageOf(box);
                            click(box, "BUTTON_OK");
                        });
                    keyboard->findChild<QLineEdit *>("EDIT_TEXT")->setText(typed);
                    click(keyboard, "BUTTON_ENTER");
                });
                click(d, "BUTTON_NEW_FOLDER");
            }
            // The keyboard closed makes nothing.
            ModalAnswer::clickNext("BUTTON_CLOSE");
            click(d, "BUTTON_NEW_FOLDER");
            shown = listed(d);
            tree(d)->setCurrentItem(Volumes::row(tree(d), "/ORBELIN/run2"));
            QTest::keyClick(tree(d), Qt::Key_Delete);
            click(d, "BUTTON_CANCEL");
        });
        QCOMPARE(messages, QStringList("<p><b>Error!</b><br/><br/>Unacceptable folder name is "
                                       "used.<br/>Please try again.</p>"));
        // New rows go at the end, unsorted.
        QCOMPARE(shown, (QStringList{"run1", "run2", "Data", "Data(1)"}));
        QCOMPARE(QDir(m_Root->path("/ORBELIN")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{"Data", "Data(1)", "run1", "run2"}));

        QString treeCurrent;
        const QString path = choose(true, [&](FileOpenDialog *d) {
            touch(d, "/ORBELIN");
            touch(d, "run1");
            QCOMPARE(listed(d), QStringList{"fields"});
            treeCurrent = static_cast<FileSystemItem *>(tree(d)->currentItem())->filePath();
            click(d, "BUTTON_OK");
        });
        QCOMPARE(treeCurrent, QString("/ORBELIN/run1"));
        QCOMPARE(path, QString("/ORBELIN/run1"));
    }

    void pngFromAStick()
    {
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(Qt::red);
        for (const char *name : {"/media/USB/logo.png", "/media/USB/LOGO.PNG", "/media/USB/b.png"})
            QVERIFY(image.save(m_Root->path(name), "PNG"));
        QImage(4, 4, QImage::Format_RGB32).save(m_Root->path("/media/USB/photo.jpg"));
        m_Root->writeFile("/media/USB/damaged.png", "not an image");
        m_Root->mkdir("/media/USB/logos");
        QStringList shown;
        const QString path = choose(false, [&](FileOpenDialog *d) {
            touch(d, "/media/USB");
            shown = listed(d);
            // OK with the tree focused does nothing in the files view.
            click(d, "BUTTON_OK");
            touch(d, "logo.png");
            click(d, "BUTTON_OK");
        });
        QCOMPARE(shown, (QStringList{"logos", "b.png", "damaged.png", "logo.png"}));
        QCOMPARE(path, QString("/media/USB/logo.png"));
        QVERIFY(choose(false, [](FileOpenDialog *d) { click(d, "BUTTON_CANCEL"); }).isEmpty());
    }

    // Before: "a/b" made a folder inside another one, or failed silently.
    void folderNames()
    {
        for (const QString &name : {"Data", "Data 2", "a.b", "\u00dcber"})
            QVERIFY2(FileOpenDialog::isAcceptableFolderName(name), qPrintable(name));
        for (const QString &name : {"", "-x", "x-", ".x", "x.", "run2/x", "a\\b", "12:30", "a*b",
                                    "a?b", "a\"b", "a<b", "a>b", "a|b", "a\tb", "a\x7f"})
            QVERIFY2(!FileOpenDialog::isAcceptableFolderName(name), qPrintable(name));
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

QTEST_MAIN(FileManagerWidgetsTest)
#include "tst_FileManagerWidgets.moc"
