#include "ServerClient.h"
#include "ServerUnderTest.h"

#include <QFile>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

// Login, folders and listings of the file server, driven by clients over loopback.
class ServerSessionTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerUnderTest> m_Test;

private Q_SLOTS:
    void init()
    {
        m_Test = std::make_unique<ServerUnderTest>();
        const TestRoot &root = m_Test->root();
        QVERIFY(root.writeFile("/ORBELIN/A/inner.txt", "inner"));
        QVERIFY(root.writeFile("/ORBELIN/b.txt", "b"));
        QVERIFY(root.writeFile("/ORBELIN/C.txt", "C"));
        QVERIFY(root.mkdir("/ORBELIN/D"));
        QVERIFY(root.writeFile("/ORBELIN/.c", "hidden"));
        QVERIFY(root.writeFile("/ORBELIN/a,b", "comma"));
        QVERIFY(root.writeFile("/ORBELIN/x<y/f.txt", "angle"));
        QVERIFY(root.writeFile("/ORBELIN/line\nfeed", "line feed"));
        QVERIFY(root.writeFile("/ORBELIN/tab\tdir/f.txt", "tab"));
        QVERIFY(root.writeFile("/root/secret.txt", "secret"));
        QVERIFY(m_Test->mkfifo("/ORBELIN/pipe"));
        QVERIFY(m_Test->link("A", "/ORBELIN/in"));
        QVERIFY(m_Test->link("../root", "/ORBELIN/out"));
        QVERIFY(m_Test->link("/dev/zero", "/ORBELIN/zero"));
        QVERIFY(m_Test->link("nothing-here", "/ORBELIN/broken"));

        QVERIFY(m_Test->listen());
    }

    void cleanup()
    {
        m_Test.reset();
        ORBELIN_Server::setLoginTimeout(ORBELIN_Server::DefaultLoginTimeoutMs);
    }

    void greeting()
    {
        ServerClient client;
        QVERIFY(client.connectTo(m_Test->port()));
        QCOMPARE(client.readLine(), QByteArray("$WAIT LOGIN:"));

        // A client that vanished used to hold its login for ever: keep-alive and a bound
        // on unacknowledged data must notice it within minutes.
        const int fd = int(m_Test->sockets().first()->socketDescriptor());
        const auto option = [fd](int level, int name) {
            int value = 0;
            socklen_t size = sizeof(value);
            return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
        };
        QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        QVERIFY(option(IPPROTO_TCP, TCP_KEEPIDLE)
                    + option(IPPROTO_TCP, TCP_KEEPINTVL) * option(IPPROTO_TCP, TCP_KEEPCNT)
                <= 300);
        const int unacknowledgedMs = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
        QVERIFY(unacknowledgedMs > 0 && unacknowledgedMs <= 300000);
    }

    // Thousands of idle connections used to be held at once.
    void connectionsBounded()
    {
        ServerClient held[ORBELIN_Server::MaxConnections];
        for (ServerClient &client : held)
            QVERIFY(client.connectAndGreet(m_Test->port()));
        ServerClient extra;
        QVERIFY(extra.connectAndGreet(m_Test->port()));
        QVERIFY(extra.waitForDisconnected());
        QCOMPARE(held[0].command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: OK"));

        held[1].socket().abort();
        QVERIFY(ServerClient::waitFor(
            [&] { return m_Test->sockets().size() == ORBELIN_Server::MaxConnections - 1; },
            5000));
        ServerClient next;
        QVERIFY(next.connectAndGreet(m_Test->port()));
        QCOMPARE(next.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: NG"));
    }

    // A connection that never logged in used to be held for ever.
    void silentConnectionClosed()
    {
        ORBELIN_Server::setLoginTimeout(1000);
        ServerClient loggedIn;
        QVERIFY(loggedIn.connectAndLogin(m_Test->port()));
        ServerClient silent;
        QVERIFY(silent.connectAndGreet(m_Test->port()));
        QVERIFY(silent.waitForDisconnected());
        // The logged-in one, whose time ran out first, stays.
        QCOMPARE(loggedIn.command("$PWD"), QByteArray("$PWD: /ORBELIN"));
    }

    void login_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        const auto row = [](const char *name, const char *line, const char *reply) {
            QTest::newRow(name) << QByteArray(line) << QByteArray(reply);
        };
        row("anonymous, empty password", "$LOGIN:<anonymous,>", "$LOGIN: OK");
        row("blank before <", "$LOGIN: <anonymous,>", "$LOGIN: OK");
        row("line ended by CR LF", "$LOGIN:<anonymous,>\r", "$LOGIN: OK");
        row("user differs in case", "$LOGIN:<Anonymous,>", "$LOGIN: NG");
        row("password given", "$LOGIN:<anonymous,x>", "$LOGIN: NG");
        row("other user", "$LOGIN:<root,>", "$LOGIN: NG");
        row("no >", "$LOGIN:<anonymous,", "$LOGIN: NG");
        row("no comma", "$LOGIN:<anonymous>", "$LOGIN: NG");
        row("comma outside the brackets", "$LOGIN:<anonymous>,", "$LOGIN: NG");
        row("> before <", "$LOGIN:>x<anonymous,", "$LOGIN: NG");
    }
    void login()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        ServerClient client;
        QVERIFY(client.connectAndGreet(m_Test->port()));
        QCOMPARE(client.command(line), reply);
        // Only a login opens the folders.
        QCOMPARE(client.command("$CD $HOME"),
                 QByteArray(reply.endsWith("OK") ? "$CD $HOME:/ORBELIN" : "$CD: NG"));
    }

    void oneAnonymousAtATime()
    {
        ServerClient first;
        QVERIFY(first.connectAndLogin(m_Test->port()));
        ServerClient second;
        QVERIFY(second.connectAndGreet(m_Test->port()));
        QCOMPARE(second.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: NG"));
        QCOMPARE(first.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: NG"));
        first.socket().disconnectFromHost();
        QVERIFY(first.waitForDisconnected());
        QVERIFY(ServerClient::waitFor([&] { return m_Test->sockets().size() == 1; }, 5000));
        QCOMPARE(second.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: OK"));
    }

    // Before a login every command was served, with the program's working folder as its
    // current folder and no limit on paths.
    void commandsBeforeLogin_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");     // empty: no reply at all
        const auto row = [](const char *name, const char *line, const char *reply) {
            QTest::newRow(name) << QByteArray(line) << QByteArray(reply);
        };
        row("$CD", "$CD /ORBELIN/A", "$CD: NG");
        row("$CD outside", "$CD /", "$CD: NG");
        row("$CD $HOME", "$CD $HOME", "$CD: NG");
        row("$PWD", "$PWD", "");
        row("$LIST", "$LIST", "");
        row("$DOWNLOAD REQUEST", "$DOWNLOAD REQUEST:</ORBELIN/b.txt>",
            "$DOWNLOAD: NG#INVALID COMMAND.");
        row("list completed", "$DOWNLOAD REQUEST: LIST COMPLETED", "");
        row("download completed", "$DOWNLOAD COMPLETED", "");
        row("cancel", "$DOWNLOAD CANCEL", "");
    }
    void commandsBeforeLogin()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        ServerClient client;
        QVERIFY(client.connectAndGreet(m_Test->port()));
        // Lines are answered in order: a reply to the command would come before the login's.
        client.send(line + "\n$LOGIN:<anonymous,>\n$DOWNLOAD COMPLETED\n$PWD\n");
        if (!reply.isEmpty())
            QCOMPARE(client.readLine(), reply);
        QCOMPARE(client.readLine(), QByteArray("$LOGIN: OK"));
        // Nothing was queued and the folder is home.
        QCOMPARE(client.readLine(), QByteArray("$PWD: /ORBELIN"));
    }

    // A login line and the lines behind it in the same arrival used to leave those lines
    // unanswered until more data came.
    void linesBehindLoginAnswered()
    {
        ServerClient client;
        QVERIFY(client.connectAndGreet(m_Test->port()));
        client.send("$LOGIN:<anonymous,>\n$PWD\r\n$CD A\n$PWD\n$CD $HOME\n$PWD\n");
        QCOMPARE(client.readLine(), QByteArray("$LOGIN: OK"));
        QCOMPARE(client.readLine(), QByteArray("$PWD: /ORBELIN"));
        QCOMPARE(client.readLine(), QByteArray("$CD: OK"));
        QCOMPARE(client.readLine(), QByteArray("$PWD: /ORBELIN/A"));
        QCOMPARE(client.readLine(), QByteArray("$CD $HOME:/ORBELIN"));
        QCOMPARE(client.readLine(), QByteArray("$PWD: /ORBELIN"));
    }

    void changeFolder_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("pwd");
        const auto row = [](const char *name, const char *line, const char *reply,
                            const char *pwd) {
            QTest::newRow(name) << QByteArray(line) << QByteArray(reply) << QByteArray(pwd);
        };
        row("absolute inside", "$CD /ORBELIN/A", "$CD: OK", "/ORBELIN/A");
        row("relative inside", "$CD A", "$CD: OK", "/ORBELIN/A");
        row("link inside", "$CD /ORBELIN/in", "$CD: OK", "/ORBELIN/in");
        row(".. back to home", "$CD /ORBELIN/A/..", "$CD: OK", "/ORBELIN/A/..");
        row("home itself", "$CD /ORBELIN", "$CD: OK", "/ORBELIN");
        row("alone", "$CD", "$CD: OK", "/ORBELIN");
        row("$HOME", "$CD $HOME", "$CD $HOME:/ORBELIN", "/ORBELIN");
        row(".. above home", "$CD /ORBELIN/..", "$CD: NG", "/ORBELIN");
        row("relative ..", "$CD ..", "$CD: NG", "/ORBELIN");
        row(".. twice", "$CD /ORBELIN/A/../..", "$CD: NG", "/ORBELIN");
        row("top folder", "$CD /", "$CD: NG", "/ORBELIN");
        row("absolute outside", "$CD /root", "$CD: NG", "/ORBELIN");
        row("link outside", "$CD /ORBELIN/out", "$CD: NG", "/ORBELIN");
        row("missing", "$CD /ORBELIN/missing", "$CD: NG", "/ORBELIN");
        row("a file", "$CD /ORBELIN/b.txt", "$CD: NG", "/ORBELIN");
        row("a device", "$CD /ORBELIN/zero", "$CD: NG", "/ORBELIN");
        row("folder named with <", "$CD /ORBELIN/x<y", "$CD: NG", "/ORBELIN");
        row("folder named with a tab", "$CD /ORBELIN/tab\tdir", "$CD: NG", "/ORBELIN");
    }
    void changeFolder()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, pwd);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command(line), reply);
        QCOMPARE(client.command("$PWD"), "$PWD: " + pwd);
    }

    void list_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("entries");
        QTest::newRow("home: by name ignoring case, no hidden, devices, pipes, links out or "
                      "names with protocol or control characters")
            << QByteArray("/ORBELIN") << QByteArray("<d,A><-,b.txt><-,C.txt><d,D><d,in>");
        QTest::newRow("sub-folder") << QByteArray("/ORBELIN/A") << QByteArray("<-,inner.txt>");
        QTest::newRow("through a link") << QByteArray("/ORBELIN/in") << QByteArray("<-,inner.txt>");
        QTest::newRow("empty folder") << QByteArray("/ORBELIN/D") << QByteArray();
    }
    void list()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, entries);
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command("$CD " + folder), QByteArray("$CD: OK"));
        QCOMPARE(client.command("$LIST"), "$LIST: " + entries);
    }

    // The current folder is checked again at each use, not only when it was entered.
    void listAfterLinkLeadsOut()
    {
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        QCOMPARE(client.command("$CD /ORBELIN/in"), QByteArray("$CD: OK"));
        QVERIFY(QFile::remove(m_Test->root().path("/ORBELIN/in")));
        QVERIFY(m_Test->link("../root", "/ORBELIN/in"));
        QCOMPARE(client.command("$LIST"), QByteArray("$LIST: "));
    }

    // A line without end used to grow the server's memory without bound.
    void endlessLineClosesConnection_data()
    {
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("before login") << false;
        QTest::newRow("after login") << true;
    }
    void endlessLineClosesConnection()
    {
        QFETCH(bool, loggedIn);
        ServerClient client;
        if (loggedIn)
            QVERIFY(client.connectAndLogin(m_Test->port()));
        else
            QVERIFY(client.connectTo(m_Test->port()));
        client.send(QByteArray(10 * 1024 * 1024, 'A'));
        QVERIFY(client.waitForDisconnected());
        QVERIFY(ServerClient::waitFor([&] { return m_Test->sockets().size() == 0; }, 5000));
        // The login of the closed connection is free again.
        ServerClient next;
        QVERIFY(next.connectAndLogin(m_Test->port()));
    }

    void longestLineAccepted()
    {
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        const QByteArray path = "/ORBELIN/" + QByteArray(ORBELIN_Server::MaxLineLength - 20, 'x');
        QCOMPARE(client.command("$CD " + path), QByteArray("$CD: NG"));
        QCOMPARE(client.command("$PWD"), QByteArray("$PWD: /ORBELIN"));
    }

    // Sockets of closed connections used to stay with the server until it went.
    void closedConnectionsFreed()
    {
        {
            ServerClient a, b, c;
            QVERIFY(a.connectAndLogin(m_Test->port()));
            QVERIFY(b.connectTo(m_Test->port()));
            QVERIFY(c.connectTo(m_Test->port()));
            QVERIFY(ServerClient::waitFor([&] { return m_Test->sockets().size() == 3; }, 5000));
        }
        QVERIFY(ServerClient::waitFor([&] { return m_Test->sockets().size() == 0; }, 5000));
        ServerClient next;
        QVERIFY(next.connectAndLogin(m_Test->port()));
    }

    void removeAllConnectedClients()
    {
        ServerClient client;
        QVERIFY(client.connectAndLogin(m_Test->port()));
        m_Test->server().slotRemoveAllConnectedClients();
        QCOMPARE(client.command("$CD $HOME"), QByteArray("$CD: NG"));
        QCOMPARE(client.command("$LOGIN:<anonymous,>"), QByteArray("$LOGIN: OK"));
    }
};

QTEST_GUILESS_MAIN(ServerSessionTest)
#include "tst_ServerSession.moc"
