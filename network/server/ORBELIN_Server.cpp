#include "ORBELIN_Server.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QVector>

#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString AnonymousUser = QStringLiteral("anonymous");

// The longest path the system opens; a deeper one could not be sent anyway.
const int MaxPathLength = PATH_MAX;

// A vanished client (Wi-Fi gone) is noticed after about two minutes, idle or in the
// middle of a file, so that its login is freed.
const int KeepAliveIdleSeconds = 60;
const int KeepAliveIntervalSeconds = 10;
const int KeepAliveProbes = 6;
const unsigned int UnacknowledgedTimeoutMs = 120000;

int s_LoginTimeoutMs = ORBELIN_Server::DefaultLoginTimeoutMs;
int s_MaxDownloadEntries = ORBELIN_Server::DefaultMaxDownloadEntries;
int s_MaxDownloadWalkMs = ORBELIN_Server::DefaultMaxDownloadWalkMs;

// Paths are framed by "<", ">" and "," in listings and announcements, and replies are
// lines; a name holding one of them or any control character cannot be told apart from
// the framing.
bool hasProtocolCharacters(const QString &name)
{
    for (const QChar c : name) {
        if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char(',')
            || c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

QString realHome()
{
    return QFileInfo(SystemPaths::map(SystemPaths::dataFolder())).canonicalFilePath();
}

// The real path itself when it lies inside the real home folder, else empty.
QString insideHome(const QString &realPath, const QString &home = realHome())
{
    if (home.isEmpty() || realPath.isEmpty())
        return QString();
    if (realPath != home && !realPath.startsWith(home + QLatin1Char('/')))
        return QString();
    return realPath;
}

// The real, link-free path of an instrument path when it lies inside the home folder;
// empty when nothing is there, it lies outside or its name could not be sent.
QString realPathInHome(const QString &path)
{
    if (hasProtocolCharacters(path))
        return QString();
    return insideHome(QFileInfo(SystemPaths::map(path)).canonicalFilePath());
}

struct Entry
{
    QString name;
    QString realPath;
    bool folder;
};

// The folders and regular files of a real folder that a client may see, by name ignoring case.
QVector<Entry> visibleEntries(const QString &realFolder)
{
    // Without QDir::Hidden and QDir::System: no dot files, devices, pipes, sockets or
    // broken links.
    const QFileInfoList all = QDir(realFolder).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    const QString home = realHome();
    QVector<Entry> visible;
    for (const QFileInfo &info : all) {
        const QString name = info.fileName();
        if (hasProtocolCharacters(name) || (!info.isDir() && !info.isFile()))
            continue;
        // Only a link can lead elsewhere; resolving every entry would cost a look-up
        // per folder above it.
        const QString real = info.isSymLink() ? insideHome(info.canonicalFilePath(), home)
                                              : realFolder + QLatin1Char('/') + name;
        if (!real.isEmpty())
            visible.append({name, real, info.isDir()});
    }
    return visible;
}

// A relative path is taken inside the client's current folder.
QString absolutePath(const ValidClient &client, const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    if (path.isEmpty())
        return client.currentFolder;
    return client.currentFolder + QLatin1Char('/') + path;
}

void setKeepAlive(QTcpSocket *socket)
{
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int fd = int(socket->socketDescriptor());
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepAliveIdleSeconds, sizeof(int));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepAliveIntervalSeconds, sizeof(int));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepAliveProbes, sizeof(int));
    // Keep-alive is silent while data waits unacknowledged; this bounds that case.
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &UnacknowledgedTimeoutMs,
                 sizeof(UnacknowledgedTimeoutMs));
}

} // namespace

ORBELIN_Server::ORBELIN_Server(QObject *parent)
    : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, &ORBELIN_Server::slotNewConnection);
    connect(&m_Timer, &QTimer::timeout, this, &ORBELIN_Server::slotTransferTimer);
}

ORBELIN_Server::~ORBELIN_Server()
{
    // The sockets are deleted by the base class; they must not call back into this part.
    const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets)
        socket->disconnect(this);
}

void ORBELIN_Server::setLoginTimeout(int ms)
{
    s_LoginTimeoutMs = ms;
}

void ORBELIN_Server::setDownloadBounds(int maxEntries, int maxWalkMs)
{
    s_MaxDownloadEntries = maxEntries;
    s_MaxDownloadWalkMs = maxWalkMs;
}

void ORBELIN_Server::slotNewConnection()
{
    while (QTcpSocket *socket = nextPendingConnection()) {
        reply(socket, QStringLiteral("$WAIT LOGIN:\n"));
        if (m_Connections.size() >= MaxConnections) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        m_Connections.insert(socket);
        setKeepAlive(socket);
        // Lines wait in this buffer; a full buffer without a line feed ends the connection.
        socket->setReadBufferSize(MaxLineLength);
        connect(socket, &QTcpSocket::readyRead, this, &ORBELIN_Server::slotReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &ORBELIN_Server::slotDisconnected);
        connect(socket, &QTcpSocket::bytesWritten, this, &ORBELIN_Server::slotBytesWritten);
        QTimer::singleShot(s_LoginTimeoutMs, socket, [this, socket] {
            if (!m_Clients.contains(socket))
                socket->abort();
        });
    }
}

void ORBELIN_Server::slotReadyRead()
{
    if (auto *socket = qobject_cast<QTcpSocket *>(sender()))
        wake(socket);
}

void ORBELIN_Server::slotDisconnected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    m_Clients.remove(socket);
    m_Connections.remove(socket);
    m_Waiting.removeAll(socket);
    socket->deleteLater();
}

void ORBELIN_Server::slotBytesWritten()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    sendBlocks(socket);
    if (socket->bytesAvailable() > 0 && mayServe(socket))
        wake(socket);
}

void ORBELIN_Server::slotRemoveAllConnectedClients()
{
    QList<QTcpSocket *> midFile;
    for (auto it = m_Clients.cbegin(); it != m_Clients.cend(); ++it) {
        if (it->file)
            midFile << it.key();
    }
    m_Clients.clear();
    // A connection in the middle of a file could not tell where its bytes stop.
    for (QTcpSocket *socket : qAsConst(midFile))
        socket->abort();
}

// Puts the connection in line to be served.
void ORBELIN_Server::wake(QTcpSocket *socket)
{
    if (!m_Waiting.contains(socket))
        m_Waiting.append(socket);
    queueTurn();
}

// The next turn serves the first connection in line, once control is back in the event loop.
void ORBELIN_Server::queueTurn()
{
    if (m_ServeQueued || m_Waiting.isEmpty())
        return;
    m_ServeQueued = true;
    QMetaObject::invokeMethod(this, &ORBELIN_Server::slotServeNext, Qt::QueuedConnection);
}

// While a file is on its way out its bytes come first, and while much waits to be sent the
// lines wait too: a client that does not read cannot make the server hold its replies.
// Either is woken again when its output drains.
bool ORBELIN_Server::mayServe(QTcpSocket *socket) const
{
    if (!m_Connections.contains(socket) || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const auto it = m_Clients.constFind(socket);
    if (it != m_Clients.cend() && it->file)
        return false;
    return socket->bytesToWrite() <= OutputBound;
}

// One line of one connection per turn of the event loop, connections in turn, so that the
// screen and the other clients wait no longer than one request.
void ORBELIN_Server::slotServeNext()
{
    m_ServeQueued = false;
    while (!m_Waiting.isEmpty()) {
        QTcpSocket *socket = m_Waiting.takeFirst();
        if (!mayServe(socket))
            continue;
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() >= MaxLineLength) {
                qDebug() << Q_FUNC_INFO << "line too long, closing" << socket->peerPort();
                socket->abort();
            }
            continue;
        }
        const QByteArray line = socket->readLine();
        // A socket whose buffer was full reads again only once the buffer is empty, so a
        // part of a line left in it would stall the connection; this makes it read now.
        if (!socket->canReadLine() && socket->bytesAvailable() > 0) {
            socket->setReadBufferSize(0);
            socket->setReadBufferSize(MaxLineLength);
        }
        handleLine(socket, QString::fromUtf8(line).trimmed());
        if (m_Connections.contains(socket) && socket->bytesAvailable() > 0)
            m_Waiting.append(socket);
        break;
    }
    queueTurn();
}

void ORBELIN_Server::handleLine(QTcpSocket *socket, const QString &line)
{
    if (line.startsWith(QLatin1String("$LOGIN:"))) {
        login(socket, line);
        return;
    }
    // Before a login only the commands that have a refusal get an answer.
    const auto it = m_Clients.find(socket);
    ValidClient *client = it == m_Clients.end() ? nullptr : &it.value();

    if (line.startsWith(QLatin1String("$CD"))) {
        if (!client) {
            reply(socket, QStringLiteral("$CD: NG\n"));
        } else if (line.contains(QLatin1String("$HOME"))) {
            client->currentFolder = client->homeFolder;
            reply(socket, QStringLiteral("$CD $HOME:%1\n").arg(client->homeFolder));
        } else {
            changeFolder(socket, *client, line);
        }
    } else if (line.startsWith(QLatin1String("$PWD"))) {
        if (client)
            reply(socket, QStringLiteral("$PWD: %1\n").arg(client->currentFolder));
    } else if (line.startsWith(QLatin1String("$LIST"))) {
        if (client)
            reply(socket, QStringLiteral("$LIST: ") + listing(*client) + QLatin1Char('\n'));
    } else if (line.startsWith(QLatin1String("$DOWNLOAD REQUEST: LIST COMPLETED"))) {
        if (client)
            m_Timer.start(0);
    } else if (line.startsWith(QLatin1String("$DOWNLOAD REQUEST"))) {
        if (client)
            downloadRequest(socket, *client, line);
        else
            reply(socket, QStringLiteral("$DOWNLOAD: NG#INVALID COMMAND.\n"));
    } else if (line.startsWith(QLatin1String("$DOWNLOAD COMPLETED"))) {
        if (client)
            m_Timer.start(0);
    } else if (line.startsWith(QLatin1String("$DOWNLOAD CANCEL"))) {
        if (client) {
            client->downloading = false;
            client->fileQueue.clear();
            reply(socket, QStringLiteral("$DOWNLOAD: COMPLETED\n"));
        }
    }
}

void ORBELIN_Server::login(QTcpSocket *socket, const QString &line)
{
    const QString refused = QStringLiteral("$LOGIN: NG\n");
    const int open = line.indexOf(QLatin1Char('<'));
    const int comma = line.indexOf(QLatin1Char(','));
    const int close = line.indexOf(QLatin1Char('>'));
    if (open < 0 || comma < 0 || close < open) {
        reply(socket, refused);
        return;
    }
    const QStringList fields = line.mid(open + 1, close - open - 1).split(QLatin1Char(','));
    if (fields.size() < 2 || fields.at(0) != AnonymousUser || !fields.at(1).isEmpty()) {
        reply(socket, refused);
        return;
    }
    // One connection per user name at a time.
    for (const ValidClient &other : qAsConst(m_Clients)) {
        if (other.userName == AnonymousUser) {
            reply(socket, refused);
            return;
        }
    }
    ValidClient client;
    client.userName = AnonymousUser;
    client.homeFolder = SystemPaths::dataFolder();
    client.currentFolder = client.homeFolder;
    m_Clients.insert(socket, client);
    reply(socket, QStringLiteral("$LOGIN: OK\n"));
}

void ORBELIN_Server::changeFolder(QTcpSocket *socket, ValidClient &client, const QString &line)
{
    // Kept with "." and ".." resolved and within a bound, so that moving about cannot make
    // it grow without end.
    const QString path = QDir::cleanPath(absolutePath(client, line.mid(4).trimmed()));
    const QString real = path.size() <= MaxFolderLength ? realPathInHome(path) : QString();
    if (real.isEmpty() || !QFileInfo(real).isDir()) {
        reply(socket, QStringLiteral("$CD: NG\n"));
        return;
    }
    client.currentFolder = path;
    reply(socket, QStringLiteral("$CD: OK\n"));
}

QString ORBELIN_Server::listing(const ValidClient &client) const
{
    const QString real = realPathInHome(client.currentFolder);
    if (real.isEmpty() || !QFileInfo(real).isDir())
        return QString();
    QString entries;
    const QVector<Entry> visible = visibleEntries(real);
    for (const Entry &entry : visible)
        entries += (entry.folder ? QLatin1String("<d,") : QLatin1String("<-,")) + entry.name
                   + QLatin1Char('>');
    return entries;
}

void ORBELIN_Server::downloadRequest(QTcpSocket *socket, ValidClient &client,
                                     const QString &line)
{
    if (line.indexOf(QLatin1Char('<'), 10) < 0 || !line.contains(QLatin1Char('>'))) {
        reply(socket, QStringLiteral("$DOWNLOAD: NG#INVALID COMMAND.\n"));
        return;
    }
    QStringList requested;
    QString name;
    for (const QChar c : line.mid(10)) {
        if (c == QLatin1Char('<'))
            name.clear();
        else if (c == QLatin1Char('>'))
            requested << name;
        else if (c != QLatin1Char(','))
            name += c;
    }

    Walk walk;
    walk.clock.start();
    for (const QString &wanted : qAsConst(requested)) {
        if (wanted.isEmpty())
            continue;
        QString path = absolutePath(client, wanted);
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const QString real = realPathInHome(path);
        if (real.isEmpty())
            continue;
        const QFileInfo info(real);
        if (info.isDir())
            recursiveEntries(path, real, walk);
        else if (info.isFile())
            walk.files << path;
        if (!walk.withinBounds()) {
            qDebug() << Q_FUNC_INFO << "request too large" << walk.files.size()
                     << walk.expanded.size() << walk.clock.elapsed();
            reply(socket, QStringLiteral("$DOWNLOAD: NG#INVALID COMMAND.\n"));
            return;
        }
    }
    const QStringList &files = walk.files;
    client.downloading = true;

    QString announcement = QStringLiteral("$DOWNLOAD REQUEST: LIST<START>");
    for (int i = 0; i < files.size(); ++i) {
        if (i > 0)
            announcement += QLatin1Char(',');
        announcement += QLatin1Char('<') + files.at(i) + QLatin1Char('>');
    }
    announcement += QStringLiteral("$DOWNLOAD REQUEST: LIST<END>\n");
    reply(socket, announcement);
    client.fileQueue = files;
}

bool ORBELIN_Server::Walk::withinBounds() const
{
    return files.size() + expanded.size() <= s_MaxDownloadEntries
           && clock.elapsed() < s_MaxDownloadWalkMs;
}

// Each real folder is expanded once per request: links that fan out to the same folders
// would otherwise multiply the walk at every level. False when the walk went out of bounds.
bool ORBELIN_Server::recursiveEntries(const QString &folder, const QString &realFolder,
                                      Walk &walk) const
{
    struct stat status;
    if (::stat(QFile::encodeName(realFolder).constData(), &status) != 0)
        return true;
    const auto id = qMakePair(quint64(status.st_dev), quint64(status.st_ino));
    if (walk.expanded.contains(id))
        return true;
    walk.expanded.insert(id);
    const QVector<Entry> entries = visibleEntries(realFolder);
    for (const Entry &entry : entries) {
        const QString path = folder + QLatin1Char('/') + entry.name;
        if (path.size() > MaxPathLength)
            continue;
        if (!entry.folder)
            walk.files << path;
        else if (!recursiveEntries(path, entry.realPath, walk))
            return false;
    }
    return walk.withinBounds();
}

bool ORBELIN_Server::openNextFile(ValidClient &client) const
{
    while (!client.fileQueue.isEmpty()) {
        const QString path = client.fileQueue.takeFirst();
        const QString real = realPathInHome(path);
        if (real.isEmpty() || !QFileInfo(real).isFile()) {
            qDebug() << Q_FUNC_INFO << "skipped" << path;
            continue;
        }
        // Non-blocking, so that a pipe put there meanwhile cannot hold the open.
        const int fd = ::open(QFile::encodeName(real).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat status;
        if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            qDebug() << Q_FUNC_INFO << "cannot open" << path;
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        auto file = QSharedPointer<QFile>::create();
        if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                        QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            continue;
        }
        client.file = file;
        client.filePath = path;
        client.fileSize = status.st_size;
        client.fileSent = 0;
        return true;
    }
    return false;
}

void ORBELIN_Server::slotTransferTimer()
{
    m_Timer.stop();
    const QList<QTcpSocket *> sockets = m_Clients.keys();
    for (QTcpSocket *socket : sockets) {
        // Looked up again: an earlier socket of this step may have changed the map.
        const auto it = m_Clients.find(socket);
        if (it == m_Clients.end() || !it->downloading || it->file)
            continue;
        if (!openNextFile(*it)) {
            it->downloading = false;
            reply(socket, QStringLiteral("$DOWNLOAD: COMPLETED\n"));
            continue;
        }
        // One arg(): a "%1" in the path stays as it is.
        reply(socket, QStringLiteral("$DOWNLOAD: <%1><%2><START>\n")
                          .arg(it->filePath, QString::number(it->fileSize)));
        sendBlocks(socket);
    }
}

void ORBELIN_Server::sendBlocks(QTcpSocket *socket)
{
    const auto it = m_Clients.find(socket);
    if (it == m_Clients.end() || !it->file)
        return;
    ValidClient &client = *it;
    // At most one block waits in the socket besides the one being written out.
    while (client.fileSent < client.fileSize && socket->bytesToWrite() < BlockSize) {
        const qint64 wanted = qMin(BlockSize, client.fileSize - client.fileSent);
        QByteArray block(int(wanted), Qt::Uninitialized);
        qint64 got = 0;
        while (got < wanted) {
            const qint64 n = client.file->read(block.data() + got, wanted - got);
            if (n < 0) {
                qDebug() << Q_FUNC_INFO << "read error, closing" << client.filePath
                         << client.file->errorString();
                socket->abort();
                return;
            }
            if (n == 0)
                break;
            got += n;
        }
        // The file shrank since it was announced: the announced size still goes out,
        // so the client keeps its framing; the END line tells the new size.
        if (got < wanted)
            std::fill(block.begin() + got, block.end(), '\0');
        socket->write(block);
        client.fileSent += wanted;
    }
    if (client.fileSent < client.fileSize)
        return;

    struct stat status;
    const qint64 sizeNow = ::fstat(client.file->handle(), &status) == 0 ? status.st_size
                                                                          : client.fileSize;
    reply(socket, QStringLiteral("$DOWNLOAD: <%1><%2><END>\n")
                      .arg(client.filePath, QString::number(sizeNow)));
    client.file.reset();
    client.filePath.clear();
    wake(socket);
}

void ORBELIN_Server::reply(QTcpSocket *socket, const QString &text)
{
    socket->write(text.toUtf8());
}
