#include "ServerClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool ServerClient::connectTo(quint16 port, int receiveBuffer)
{
    // A plain socket first: the receive buffer must be set before the connection is made.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return false;
    }
    if (receiveBuffer > 0)
        m_Socket.setReadBufferSize(receiveBuffer);
    return m_Socket.setSocketDescriptor(fd);
}

bool ServerClient::connectAndGreet(quint16 port, int receiveBuffer)
{
    return connectTo(port, receiveBuffer) && readLine() == "$WAIT LOGIN:";
}

bool ServerClient::connectAndLogin(quint16 port, int receiveBuffer)
{
    return connectAndGreet(port, receiveBuffer) && command("$LOGIN:<anonymous,>") == "$LOGIN: OK";
}

void ServerClient::send(const QByteArray &data)
{
    m_Socket.write(data);
}

QByteArray ServerClient::readLine(int timeoutMs)
{
    if (!waitFor([this] { return m_Socket.canReadLine(); }, timeoutMs))
        return QByteArray();
    QByteArray line = m_Socket.readLine();
    line.chop(1);
    return line;
}

QByteArray ServerClient::command(const QByteArray &line)
{
    send(line + '\n');
    return readLine();
}

QByteArray ServerClient::readBytes(qint64 size, int timeoutMs)
{
    QByteArray data;
    data.reserve(int(size));
    waitFor([&] {
        data += m_Socket.read(size - data.size());
        return data.size() >= size;
    }, timeoutMs);
    return data;
}

ServerClient::Download ServerClient::download(int timeoutMs)
{
    static const QRegularExpression Frame(
        QStringLiteral("^\\$DOWNLOAD: <([^<>]*)><(\\d+)><(START|END)>$"));
    Download result;
    const QByteArray start = readLine(timeoutMs);
    const QRegularExpressionMatch startMatch = Frame.match(QString::fromUtf8(start));
    if (!startMatch.hasMatch() || startMatch.captured(3) != QLatin1String("START")) {
        result.error = start;
        return result;
    }
    result.path = startMatch.captured(1);
    result.size = startMatch.captured(2).toLongLong();
    result.data = readBytes(result.size, timeoutMs);
    const QByteArray end = readLine(timeoutMs);
    const QRegularExpressionMatch endMatch = Frame.match(QString::fromUtf8(end));
    if (!endMatch.hasMatch() || endMatch.captured(3) != QLatin1String("END")
        || endMatch.captured(1) != result.path) {
        result.error = end;
        return result;
    }
    result.endSize = endMatch.captured(2).toLongLong();
    return result;
}

bool ServerClient::waitForDisconnected(int timeoutMs)
{
    return waitFor([this] {
        m_Socket.readAll();
        return m_Socket.state() == QAbstractSocket::UnconnectedState;
    }, timeoutMs);
}

bool ServerClient::waitFor(const std::function<bool()> &ready, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        // Woken by any event; the short timer covers work that posts none of ours.
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(left, 20)), &loop, &QEventLoop::quit);
        loop.processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

QByteArray announcement(const QStringList &files)
{
    QByteArray text = "$DOWNLOAD REQUEST: LIST<START>";
    for (int i = 0; i < files.size(); ++i)
        text += (i > 0 ? ",<" : "<") + files.at(i).toUtf8() + '>';
    return text + "$DOWNLOAD REQUEST: LIST<END>";
}
