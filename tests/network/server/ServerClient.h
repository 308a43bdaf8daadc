#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

#include <functional>

class ORBELIN_Server;

// A client of the file server for tests, over real TCP on loopback. The server runs on the
// same thread, so every wait turns the event loop, and every wait is bounded.
class ServerClient
{
public:
    // One file as the client receives it: START line, raw bytes, END line.
    struct Download
    {
        QString path;
        qint64 size = -1;       // from the START line
        QByteArray data;
        qint64 endSize = -1;    // from the END line
        QByteArray error;       // what arrived instead, when the framing was broken
    };

    // receiveBuffer > 0 keeps this end's kernel and Qt buffers that small, so that the
    // server has to wait for a client that reads slowly.
    bool connectTo(quint16 port, int receiveBuffer = 0);
    // Connects and reads the greeting; true when it was right.
    bool connectAndGreet(quint16 port, int receiveBuffer = 0);
    // Connects, reads the greeting and logs in as "anonymous"; true when both were right.
    bool connectAndLogin(quint16 port, int receiveBuffer = 0);

    void send(const QByteArray &data);
    // The next line without its line feed; a null array when none came in time.
    QByteArray readLine(int timeoutMs = 5000);
    // Sends one line and returns the next line received.
    QByteArray command(const QByteArray &line);
    QByteArray readBytes(qint64 size, int timeoutMs = 20000);
    Download download(int timeoutMs = 20000);
    bool waitForDisconnected(int timeoutMs = 10000);

    QTcpSocket &socket() { return m_Socket; }

    // Turns the event loop until ready() holds or the time is up.
    static bool waitFor(const std::function<bool()> &ready, int timeoutMs);

private:
    QTcpSocket m_Socket;
};

// The text the server announces for a list of files.
QByteArray announcement(const QStringList &files);
