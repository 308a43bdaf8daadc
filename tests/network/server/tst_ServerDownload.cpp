#include "ServerClient.h"
#include "ServerUnderTest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

const qint64 MiB = 1024 * 1024;
// Well above what the loopback buffers hold for a client with a small receive buffer.
const qint64 BigFileSize = 16 * MiB;
const int SmallReceiveBuffer = 64 * 1024;

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qint64 i = 0; i < size; ++i)
        data[int(i)] = char(generator.bounded(256));
    return data;
}

QByteArray frame(const char *path, qint64 size, const char *mark)
{
    return "$DOWNLOAD: <" + QByteArray(path) + "><" + QByteArray::number(size) + "><" + mark + '>';
}

} // namespace

// Downloads from the file server, byte for byte, driven by clients over loopback.
class ServerDownloadTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerUnderTest> m_Test;

    QTcpSocket *serverSocket() const
    {
        const QList<QTcpSocket *> sockets = m_Test->sockets();
        return sockets.size() == 1 ? sockets.first() : nullptr;
    }

    // Receives every file of the list, acknowledging each, then the end of the download.
    void receiveAll(ServerClient &client, const QStringList &files)
    {
        for (const QString &path : files) {
            const ServerClient::Download file = client.download();
            QVERIFY2(file.error.isEmpty(), file.error.left(200).constData());
            QCOMPARE(file.path, path);
            const QByteArray expected = m_Test->root().readFile(path);
            QCOMPARE(file.size, qint64(expected.size()));
            QCOMPARE(file.endSize, file.size);
            QVERIFY2(file.data == expected, qPrintable(path));
            client.send("$DOWNLOAD COMPLETED\n");
        }
        QCOMPARE(client.readLine(), QByteArray("$DOWNLOAD: COMPLETED"));
    }

    // Requests one big file with a slow client and reads its START line.
    void startBigDownload(ServerClient &client, const QByteArray &content)
    {
        QVERIFY(m_Test->root().writeFile("/ORBELIN/big.bin", content));
        QVERIFY(client.connectAndLogin(m_Test->port(), SmallReceiveBuffer));
        QCOMPARE(client.command("$DOWNLOAD REQUEST:</ORBELIN/big.bin>,</ORBELIN/small.txt>"),
                 announcement({"/ORBELIN/big.bin", "/ORBELIN/small.txt"}));
        client.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        QCOMPARE(client.readLine(), frame("/ORBELIN/big.bin", content.size(), "START"));
    }

private Q_SLOTS:
    void init()
    {
        m_Test = std::make_unique<ServerUnderTest>();
        const TestRoot &root = m_Test->root();
        QVERIFY(root.writeFile("/ORBELIN/empty.bin", QByteArray()));
        QVERIFY(root.writeFile("/ORBELIN/one.bin", randomBytes(MiB, 1)));
        QVERIFY(root.writeFile("/ORBELIN/onePlus.bin", randomBytes(MiB + 1, 2)));
        QVERIFY(root.writeFile("/ORBELIN/small.txt", "small\n"));
        QVERIFY(root.writeFile("/ORBELIN/tree/b.txt", "bee"));
        QVERIFY(root.writeFile("/ORBELIN/tree/a.txt", "a"));
        QVERIFY(root.writeFile("/ORBELIN/tree/sub/c.txt", randomBytes(3000, 3)));
        QVERIFY(root.writeFile("/ORBELIN/tree/Z.bin", randomBytes(MiB + 7, 4)));
        QVERIFY(root.mkdir("/ORBELIN/tree/empty"));
        QVERIFY(root.writeFile("/ORBELIN/tree/.hidden", "hidden"));
        QVERIFY(root.writeFile("/ORBELIN/loop/f.txt", "f"));
        QVERIFY(root.writeFile("/ORBELIN/loop/sub/g.txt", "g"));
        QVERIFY(m_Test->link("..", "/ORBELIN/loop/sub/up"));
        QVERIFY(m_Test->link(".", "/ORBELIN/loop/self"));
        QVERIFY(root.writeFile("/ORBELIN/mixed/ok.txt", "ok"));
        QVERIFY(root.writeFile("/ORBELIN/mixed/x,y.txt", "comma"));
        QVERIFY(root.writeFile("/ORBELIN/mixed/t\tab.txt", "tab"));
        QVERIFY(root.writeFile("/ORBELIN/carriage\rreturn", "carriage return"));
        QVERIFY(root.writeFile("/ORBELIN/tab\tdir/f.txt", "tab"));
        QVERIFY(m_Test->link("/dev/zero", "/ORBELIN/mixed/zero"));
        QVERIFY(m_Test->link("../../root", "/ORBELIN/mixed/out"));
        QVERIFY(m_Test->link("../tree/a.txt", "/ORBELIN/mixed/toA"));
        QVERIFY(root.writeFile("/root/secret.txt", "secret"));
        QVERIFY(m_Test->link("/dev/zero", "/ORBELIN/zero"));
        QVERIFY(m_Test->link("/proc/self/status", "/ORBELIN/status"));
        QVERIFY(m_Test->link("../root", "/ORBELIN/out"));
        QVERIFY(m_Test->mkfifo("/ORBELIN/pipe"));
        QVERIFY(m_Test->mkfifo("/ORBELIN/mixed/pipe"));
        // "/dev/zero" of the instrument is the real device.
        QVERIFY(root.mkdir("/dev"));
        QVERIFY(m_Test->link("/dev/zero", "/dev/zero"));

        QVERIFY(m_Test->listen());
    }

    void cleanup()
    {
        m_Test.reset();
        ORBELIN_Server::setDownloadBounds(ORBELIN_Server::DefaultMaxDownloadEntries,
                                          ORBELIN_Server::DefaultMaxDownloadWalkMs);
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QStringList>("files");
        const auto row = [](const char *name, const char *request, const QStringList &files) {
            QTest::newRow(name) << QByteArray(request) << files;
        };
        row("empty file", "</ORBELIN/empty.bin>", {"/ORBELIN/empty.bin"});
        row("1 MiB", "</ORBELIN/one.bin>", {"/ORBELIN/one.bin"});
        row("1 MiB + 1 byte", "</ORBELIN/onePlus.bin>", {"/ORBELIN/onePlus.bin"});
        row("folder tree: depth-first, by name ignoring case", "</ORBELIN/tree>",
            {"/ORBELIN/tree/a.txt", "/ORBELIN/tree/b.txt", "/ORBELIN/tree/sub/c.txt",
             "/ORBELIN/tree/Z.bin"});
        row("several paths, a missing one left out",
            "</ORBELIN/small.txt>,</ORBELIN/missing>,</ORBELIN/tree/sub/>",
            {"/ORBELIN/small.txt", "/ORBELIN/tree/sub/c.txt"});
        row("relative to the current folder", "<tree/a.txt>", {"/ORBELIN/tree/a.txt"});
        row("symlink loop", "</ORBELIN/loop>", {"/ORBELIN/loop/f.txt", "/ORBELIN/loop/sub/g.txt"});
        row("folder with devices, pipes, links out, protocol and control characters",
            "</ORBELIN/mixed>", {"/ORBELIN/mixed/ok.txt", "/ORBELIN/mixed/toA"});
        row("carriage return in the name", "</ORBELIN/carriage\rreturn>", {});
        row("tab in a folder's name", "</ORBELIN/tab\tdir/f.txt>", {});
        row("/dev/zero", "</dev/zero>", {});
        row("link to /dev/zero", "</ORBELIN/zero>", {});
        row("link to /proc", "</ORBELIN/status>", {});
        row("pipe", "</ORBELIN/pipe>", {});
        row("outside through ..", "</ORBELIN/../root/secret.txt>", {});
        row("outside, absolute", "</root/secret.txt>", {});
        row("outside through a link", "</ORBELIN/out/secret.txt>", {});
        row("empty name", "<>", {});
    }
    void download()
    {
        QFETCH(QByteArray, request);
        QFETCH(QStringList, files);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command("$DOWNLOAD REQUEST:" + request), announcement(files));
        client.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        receiveAll(client, files);
    }

    // Links that fan out to the next level used to be followed on every path: 2^20 paths,
    // the program frozen for half a minute and 140 MB more memory.
    void fanOutTreeAnsweredQuickly()
    {
        QString file = "/ORBELIN/fan/0";
        for (int level = 0; level < 20; ++level) {
            const QString next = "../" + QString::number(level + 1);
            const QString folder = "/ORBELIN/fan/" + QString::number(level);
            QVERIFY(m_Test->root().mkdir(folder));
            QVERIFY(m_Test->link(next, folder + "/a"));
            QVERIFY(m_Test->link(next, folder + "/b"));
            file += "/a";
        }
        file += "/f.txt";
        QVERIFY(m_Test->root().writeFile("/ORBELIN/fan/20/f.txt", "f"));

        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QElapsedTimer clock;
        clock.start();
        client.send("$DOWNLOAD REQUEST:</ORBELIN/fan/0>\n");
        ServerClient other;
        QVERIFY(other.connectAndGreet(m_Test->port()));
        QCOMPARE(other.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: NG"));
        QCOMPARE(client.readLine(), announcement({file}));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        client.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        receiveAll(client, {file});
    }

    void requestBounded_data()
    {
        QTest::addColumn<int>("maxEntries");
        QTest::addColumn<int>("maxWalkMs");
        QTest::addColumn<bool>("accepted");
        const int time = ORBELIN_Server::DefaultMaxDownloadWalkMs;
        // The tree holds four files in three folders.
        QTest::newRow("at the bound") << 7 << time << true;
        QTest::newRow("beyond it") << 6 << time << false;
        QTest::newRow("out of time") << 7 << 0 << false;
    }
    void requestBounded()
    {
        QFETCH(int, maxEntries);
        QFETCH(int, maxWalkMs);
        QFETCH(bool, accepted);
        ORBELIN_Server::setDownloadBounds(maxEntries, maxWalkMs);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command("$DOWNLOAD REQUEST:</ORBELIN/tree>"),
                 accepted ? announcement({"/ORBELIN/tree/a.txt", "/ORBELIN/tree/b.txt",
                                          "/ORBELIN/tree/sub/c.txt", "/ORBELIN/tree/Z.bin"})
                          : QByteArray("$DOWNLOAD: NG#INVALID COMMAND."));
    }

    void invalidRequest_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("nothing after it") << QByteArray("$DOWNLOAD REQUEST");
        QTest::newRow("no <") << QByteArray("$DOWNLOAD REQUEST: /ORBELIN/small.txt>");
        QTest::newRow("no >") << QByteArray("$DOWNLOAD REQUEST:</ORBELIN/small.txt");
    }
    void invalidRequest()
    {
        QFETCH(QByteArray, line);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command(line), QByteArray("$DOWNLOAD: NG#INVALID COMMAND."));
        // Not downloading: a completion line gets no reply.
        QCOMPARE(client.command("$DOWNLOAD COMPLETED\n$PWD"), QByteArray("$PWD: /ORBELIN"));
    }

    // A queued file that went used to end the step without a line, leaving client and
    // server waiting on each other.
    void changedWhileQueued_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("request");
        QTest::addColumn<QStringList>("files");
        const QStringList two{"/ORBELIN/tree/a.txt", "/ORBELIN/tree/b.txt"};
        QTest::newRow("first deleted") << "delete" << two << QStringList{"/ORBELIN/tree/b.txt"};
        QTest::newRow("first now a pipe") << "pipe" << two << QStringList{"/ORBELIN/tree/b.txt"};
        QTest::newRow("first now a link out") << "link out" << two
                                              << QStringList{"/ORBELIN/tree/b.txt"};
        QTest::newRow("only file deleted") << "delete" << QStringList{"/ORBELIN/tree/a.txt"}
                                           << QStringList();
    }
    void changedWhileQueued()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, request);
        QFETCH(QStringList, files);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QByteArray line = "$DOWNLOAD REQUEST:";
        for (const QString &path : request)
            line += (path == request.first() ? "<" : ",<") + path.toUtf8() + '>';
        QCOMPARE(client.command(line), announcement(request));

        const QString first = request.first();
        QVERIFY(QFile::remove(m_Test->root().path(first)));
        if (change == "pipe")
            QVERIFY(m_Test->mkfifo(first));
        else if (change == "link out")
            QVERIFY(m_Test->link(m_Test->root().path("/root/secret.txt"), first));

        client.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        receiveAll(client, files);
    }

    // A file that changed while it was sent used to break the framing: the bytes sent were
    // not the size announced.
    void changedWhileSent_data()
    {
        QTest::addColumn<qint64>("newSize");
        QTest::newRow("grows") << BigFileSize + MiB;
        QTest::newRow("shrinks") << MiB;
    }
    void changedWhileSent()
    {
        QFETCH(qint64, newSize);
        const QByteArray content = randomBytes(BigFileSize, 5);
        ServerClient client;
        startBigDownload(client, content);

        QFile file(m_Test->root().path("/ORBELIN/big.bin"));
        if (newSize > content.size()) {
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write(QByteArray(int(newSize - content.size()), 'x')),
                     newSize - content.size());
            file.close();
        } else {
            QVERIFY(file.resize(newSize));
        }

        const QByteArray data = client.readBytes(content.size());
        QCOMPARE(data.size(), content.size());
        QVERIFY(data.startsWith(content.left(int(qMin<qint64>(newSize, content.size())))));
        if (newSize < content.size())
            QCOMPARE(data.right(1024), QByteArray(1024, '\0'));
        else
            QVERIFY(data == content);
        QCOMPARE(client.readLine(), frame("/ORBELIN/big.bin", newSize, "END"));
        client.send("$DOWNLOAD COMPLETED\n");
        receiveAll(client, {"/ORBELIN/small.txt"});
    }

    // Sending used to hold the GUI thread up to 30 s a MiB and queue the whole file.
    void slowClientHoldsNothing()
    {
        const QByteArray content = randomBytes(BigFileSize, 6);
        ServerClient slow;
        startBigDownload(slow, content);

        // The slow client reads nothing more: the server's queue stops at about two blocks.
        QTcpSocket *socket = serverSocket();
        QVERIFY(socket);
        const qint64 block = ORBELIN_Server::BlockSize;
        QVERIFY(ServerClient::waitFor([&] { return socket->bytesToWrite() >= block; }, 10000));
        // Meanwhile another client is served.
        ServerClient other;
        QVERIFY(other.connectAndGreet(m_Test->port()));
        QCOMPARE(other.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: NG"));
        QVERIFY(socket->bytesToWrite() <= 2 * block);

        // Lines sent in the middle of a file are answered after it, not inside its bytes.
        slow.send("$PWD\n$DOWNLOAD CANCEL\n");
        QVERIFY(slow.readBytes(content.size()) == content);
        QCOMPARE(slow.readLine(), frame("/ORBELIN/big.bin", content.size(), "END"));
        QCOMPARE(slow.readLine(), QByteArray("$PWD: /ORBELIN"));
        QCOMPARE(slow.readLine(), QByteArray("$DOWNLOAD: COMPLETED"));
        // Cancelled: the second file is not sent.
        QCOMPARE(slow.command("$DOWNLOAD COMPLETED\n$PWD"), QByteArray("$PWD: /ORBELIN"));
    }

    // The record of a client gone in the middle of a file used to be used after its wait.
    void disconnectMidTransfer()
    {
        const QByteArray content = randomBytes(BigFileSize, 7);
        {
            ServerClient gone;
            startBigDownload(gone, content);
            QCOMPARE(gone.readBytes(1000).size(), 1000);
            gone.socket().abort();
        }
        QVERIFY(ServerClient::waitFor([&] { return !serverSocket(); }, 5000));

        ServerClient again;
        QVERIFY(again.connectAndLogin(m_Test->port()));
        QCOMPARE(again.command("$DOWNLOAD REQUEST:</ORBELIN/big.bin>"),
                 announcement({"/ORBELIN/big.bin"}));
        again.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        receiveAll(again, {"/ORBELIN/big.bin"});
    }

    void removeAllClientsMidFile()
    {
        ServerClient client;
        startBigDownload(client, randomBytes(BigFileSize, 8));
        m_Test->server().slotRemoveAllConnectedClients();
        QVERIFY(client.waitForDisconnected());
        ServerClient next;
        QVERIFY(next.connectAndLogin(m_Test->port()));
    }

    void newRequestReplacesQueue()
    {
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command("$DOWNLOAD REQUEST:</ORBELIN/tree>"),
                 announcement({"/ORBELIN/tree/a.txt", "/ORBELIN/tree/b.txt",
                               "/ORBELIN/tree/sub/c.txt", "/ORBELIN/tree/Z.bin"}));
        client.send("$DOWNLOAD REQUEST: LIST COMPLETED\n");
        QCOMPARE(client.download().path, QString("/ORBELIN/tree/a.txt"));
        QCOMPARE(client.command("$DOWNLOAD REQUEST:</ORBELIN/small.txt>"),
                 announcement({"/ORBELIN/small.txt"}));
        client.send("$DOWNLOAD COMPLETED\n");
        receiveAll(client, {"/ORBELIN/small.txt"});
    }
};

QTEST_GUILESS_MAIN(ServerDownloadTest)
#include "tst_ServerDownload.moc"
