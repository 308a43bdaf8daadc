#include "FileSystemItem.h"
#include "FileSystemTreeWidget.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using fs::FileSystemItem;

class FileSystemTreeWidgetTest : public QObject
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

    QStringList rows() const
    {
        QStringList paths;
        for (int i = 0; i < m_Tree->topLevelItemCount(); ++i)
            paths << static_cast<FileSystemItem *>(m_Tree->topLevelItem(i))->filePath();
        return paths;
    }

    // The row of a path, listing the folders on the way as a touch would.
    FileSystemItem *row(const QString &path) const
    {
        for (int i = 0; i < m_Tree->topLevelItemCount(); ++i) {
            auto *node = static_cast<FileSystemItem *>(m_Tree->topLevelItem(i));
            while (node) {
                if (node->filePath() == path)
                    return node;
                if (!path.startsWith(node->filePath() + "/"))
                    break;
                node->slotCurrentItemChanged(node, nullptr);
                FileSystemItem *next = nullptr;
                for (int c = 0; c < node->childCount() && !next; ++c) {
                    FileSystemItem *child = node->child(c);
                    if (path == child->filePath() || path.startsWith(child->filePath() + "/"))
                        next = child;
                }
                node = next;
            }
        }
        return nullptr;
    }

    void select(const QStringList &paths)
    {
        m_Tree->setSelectionMode(QAbstractItemView::MultiSelection);
        m_Tree->clearSelection();
        for (const QString &path : paths) {
            FileSystemItem *node = row(path);
            QVERIFY2(node, qPrintable(path));
            node->setSelected(true);
            m_Tree->setCurrentItem(node, 0, QItemSelectionModel::NoUpdate);
        }
    }

    // Clicks OK on the paste dialog once it shows its error; the message is kept.
    static void confirmPasteError(QString *text)
    {
        ModalAnswer::next([text](QWidget *modal) {
            auto *ok = modal->findChild<QPushButton *>("BUTTON_OK");
            QTRY_VERIFY(ok->isVisible());
            *text = modal->findChild<QLabel *>("LABEL_MESSAGE")->text();
            QTest::mouseClick(ok, Qt::LeftButton);
        });
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Root.reset(new TestRoot);
        m_Volumes.reset(new Volumes(*m_Root, {"USB", "USB (1)"}));
    }

    void cleanup()
    {
        m_Tree.reset();
        m_Volumes.reset();
        m_Root.reset();
    }

    void topLevelRows()
    {
        m_Root->mkdir("/orbelin_backup");
        m_Root->writeFile("/ORBELIN.txt", "not a folder");
        m_Root->mkdir("/other");
        build(true);
        QStringList listed = rows();
        QCOMPARE(listed.size(), 4);
        // Data folders first, then the sticks, each group in listing order.
        QCOMPARE(QSet<QString>(listed.begin(), listed.begin() + 2),
                 (QSet<QString>{"/ORBELIN", "/orbelin_backup"}));
        QCOMPARE(QSet<QString>(listed.begin() + 2, listed.end()),
                 (QSet<QString>{"/media/USB", "/media/USB (1)"}));
        QCOMPARE(m_Tree->topLevelItem(2)->text(0).startsWith("USB"), true);
        QCOMPARE(static_cast<FileSystemItem *>(m_Tree->topLevelItem(0))->item().isChild, false);

        m_Tree->grab().save(QDir::currentPath() + "/screenshot-filesystemtreewidget.png");
    }

    void sticksOnlyWithoutRegister()
    {
        build(false);
        const QStringList sticks = rows();
        QCOMPARE(QSet<QString>(sticks.begin(), sticks.end()),
                 (QSet<QString>{"/media/USB", "/media/USB (1)"}));
        m_Root->mkdir("/ORBELIN2");
        m_Root->mkdir("/media/NEW");
        QTRY_COMPARE(rows().size(), 3);
        QCOMPARE(rows().last(), QString("/media/NEW"));
    }

    void volumesComeAndGo()
    {
        m_Root->mkdir("/media/THIRD");
        build();
        QCOMPARE(rows().size(), 4);
        m_Root->mkdir("/media/NEW");
        QTRY_COMPARE(rows().size(), 5);
        QCOMPARE(rows().last(), QString("/media/NEW"));

        // Two sticks pulled at once lose both rows.
        QVERIFY(QDir(m_Root->path("/media/THIRD")).removeRecursively());
        QVERIFY(QDir(m_Root->path("/media/NEW")).removeRecursively());
        QTRY_COMPARE(rows().size(), 3);
        QVERIFY(!rows().contains("/media/THIRD"));
    }

    // Before: "/media/USB" was taken for the volume of "/media/USB (1)/run", so pulling USB
    // moved the selection away from the other stick.
    void pulledStickTakesOnlyItsOwnRows()
    {
        m_Root->mkdir("/media/USB/run");
        m_Root->mkdir("/media/USB (1)/run");
        build();
        FileSystemItem *other = row("/media/USB (1)/run");
        m_Tree->setCurrentItem(other);
        QSignalSpy current(m_Tree.get(), &FileSystemTreeWidget::signalCurrentItemChanged);
        QVERIFY(QDir(m_Root->path("/media/USB")).removeRecursively());
        QTRY_COMPARE(rows().size(), 2);
        QCOMPARE(m_Tree->currentItem(), static_cast<QTreeWidgetItem *>(other));
        QCOMPARE(current.count(), 0);
    }

    void pulledStickMovesTheCurrentRow()
    {
        m_Root->mkdir("/media/USB/run/deep");
        build();
        m_Tree->setCurrentItem(row("/media/USB/run/deep"));
        QSignalSpy current(m_Tree.get(), &FileSystemTreeWidget::signalCurrentItemChanged);
        QVERIFY(QDir(m_Root->path("/media/USB")).removeRecursively());
        QTRY_VERIFY(!rows().contains("/media/USB"));
        // The stick's own row was made current before it went; then the tree's choice.
        QVERIFY(current.count() >= 2);
        QCOMPARE(current.at(0).at(0).toString(), QString("/media/USB"));
        auto *now = static_cast<FileSystemItem *>(m_Tree->currentItem());
        QCOMPARE(current.last().at(0).toString(), now ? now->filePath() : QString());
    }

    void currentRowAndClicks()
    {
        m_Root->mkdir("/ORBELIN/run1");
        build();
        m_Tree->setCurrentItem(row("/media/USB"));
        QSignalSpy current(m_Tree.get(), &FileSystemTreeWidget::signalCurrentItemChanged);
        m_Tree->setCurrentItem(row("/ORBELIN"));
        QCOMPARE(current.count(), 1);
        QCOMPARE(current.last(), (QList<QVariant>{"/ORBELIN", false}));
        FileSystemItem *run = row("/ORBELIN/run1");
        m_Tree->setCurrentItem(run);
        QCOMPARE(current.last(), (QList<QVariant>{"/ORBELIN/run1", true}));
        m_Tree->setCurrentItem(nullptr);
        QCOMPARE(current.last(), (QList<QVariant>{"", false}));

        current.clear();
        m_Tree->setCurrentItem(row("/media/USB"));
        current.clear();
        const bool expanded = row("/ORBELIN")->isExpanded();
        const QRect rect = m_Tree->visualItemRect(row("/ORBELIN"));
        QTest::mouseClick(m_Tree->viewport(), Qt::LeftButton, {}, rect.center());
        // Once for the new current row, once for the touch.
        QCOMPARE(current.count(), 2);
        QCOMPARE(row("/ORBELIN")->isExpanded(), !expanded);
    }

    void clipboard()
    {
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run2/b.txt", "b");
        build();
        m_Tree->copy();
        QCOMPARE(m_Tree->clipboard().paths, QStringList());     // no current row

        select({"/ORBELIN/run1", "/ORBELIN/run2"});
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
        QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << -1 << true;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << -1 << true;
    }
    // Before: Delete and Backspace deleted the folder at once, with no question and in
    // security mode too. Now they only ask the owner.
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, mode);
        QFETCH(bool, eraseAsked);
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        build();
        select({"/ORBELIN/run1"});
        QSignalSpy asked(m_Tree.get(), &FileSystemTreeWidget::signalEraseRequested);
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_Tree->clipboard().paths.isEmpty(), mode < 0);
        if (mode >= 0)
            QCOMPARE(m_Tree->clipboard().mode, mode);
        QCOMPARE(asked.count(), eraseAsked ? 1 : 0);
        QVERIFY(QFile::exists(m_Root->path("/ORBELIN/run1/a.txt")));
        // A volume row cannot be deleted: nothing to ask.
        m_Tree->setCurrentItem(row("/ORBELIN"));
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(asked.count(), eraseAsked ? 1 : 0);
    }

    void erase()
    {
        m_Root->writeFile("/ORBELIN/run1/.hidden", "h");
        m_Root->writeFile("/ORBELIN/run1/sub/a.txt", "a");
        m_Root->writeFile("/ORBELIN/keep/k.txt", "k");
        QVERIFY(QFile::link(m_Root->path("/ORBELIN/keep"), m_Root->path("/ORBELIN/link")));
        build();

        // A link goes by itself; what it points to stays.
        m_Tree->setCurrentItem(row("/ORBELIN/link"));
        m_Tree->erase();
        QVERIFY(!QFileInfo(m_Root->path("/ORBELIN/link")).isSymLink());
        QCOMPARE(m_Root->readFile("/ORBELIN/keep/k.txt"), QByteArray("k"));
        QTRY_VERIFY(!row("/ORBELIN/link"));

        m_Tree->setCurrentItem(row("/ORBELIN/run1"));
        m_Tree->erase();
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1")));
        QTRY_VERIFY(!row("/ORBELIN/run1"));

        // A volume row is never deleted.
        m_Tree->setCurrentItem(row("/ORBELIN"));
        m_Tree->erase();
        QVERIFY(QFile::exists(m_Root->path("/ORBELIN/keep/k.txt")));
    }

    void pasteThroughTheDialog()
    {
        m_Root->writeFile("/ORBELIN/run1/01_RAW.tif", QByteArray(50000, 'r'));
        build();
        select({"/ORBELIN/run1"});
        m_Tree->copy();
        m_Tree->setCurrentItem(row("/media/USB"));
        QVERIFY(m_Tree->paste());
        QCOMPARE(m_Root->readFile("/media/USB/run1/01_RAW.tif"), QByteArray(50000, 'r'));
        QTRY_VERIFY(row("/media/USB/run1"));
        QCOMPARE(m_Tree->clipboard().paths, QStringList{"/ORBELIN/run1"});

        // Onto a file: into its folder.
        m_Root->writeFile("/media/USB (1)/note.txt", "n");
        m_Tree->setCurrentItem(row("/media/USB (1)"));
        QTRY_VERIFY(row("/media/USB (1)/note.txt"));
        m_Tree->setCurrentItem(row("/media/USB (1)/note.txt"));
        QVERIFY(m_Tree->paste());
        QVERIFY(QFile::exists(m_Root->path("/media/USB (1)/run1/01_RAW.tif")));

        // Pasting a folder into itself: the dialog shows why, OK closes it.
        m_Tree->setCurrentItem(row("/ORBELIN/run1"));
        QString text;
        confirmPasteError(&text);
        QVERIFY(!m_Tree->paste());
        QVERIFY(text.contains("Cannot paste files within the same folder."));

        m_Tree->setCurrentItem(nullptr);
        QVERIFY(!m_Tree->paste());
    }

    // Before: Escape closed the progress dialog and a second paste could start beside the
    // first.
    void oneRunningPasteAtATime()
    {
        m_Root->writeFile("/ORBELIN/run/a.txt", "a");
        Volumes::setMeminfo(*m_Root, 100, 0);  // the write-back wait holds the paste open
        build();
        select({"/ORBELIN/run"});
        m_Tree->copy();
        m_Tree->setCurrentItem(row("/media/USB"));
        bool secondPaste = true;
        bool stillOpen = false;
        ModalAnswer::next([&](QWidget *modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            stillOpen = modal->isVisible();
            secondPaste = m_Tree->paste();
            Volumes::setMeminfo(*m_Root, 0, 0);
        });
        QVERIFY(m_Tree->paste());
        QVERIFY(stillOpen);
        QVERIFY(!secondPaste);
        QCOMPARE(m_Root->readFile("/media/USB/run/a.txt"), QByteArray("a"));
    }
};

QTEST_MAIN(FileSystemTreeWidgetTest)
#include "tst_FileSystemTreeWidget.moc"
