#pragma once

#include "ORBELIN_Server.h"
#include "TestRoot.h"

#include <memory>

class QTcpSocket;

// A file server over a private root, listening on loopback at a free port.
class ServerUnderTest
{
public:
    TestRoot &root() { return m_Root; }
    bool listen();
    ORBELIN_Server &server() { return *m_Server; }
    quint16 port() const { return m_Server->serverPort(); }

    // The server's connection sockets still alive.
    QList<QTcpSocket *> sockets() const;

    // Instrument paths: a symbolic link to a target (relative, or a real absolute path)
    // and a named pipe.
    bool link(const QString &target, const QString &instrumentPath) const;
    bool mkfifo(const QString &instrumentPath) const;

private:
    TestRoot m_Root;
    std::unique_ptr<ORBELIN_Server> m_Server;
};
