#include "ServerUnderTest.h"

#include <QFile>
#include <QTcpSocket>

#include <sys/stat.h>

bool ServerUnderTest::listen()
{
    m_Server = std::make_unique<ORBELIN_Server>();
    return m_Server->listen(QHostAddress::LocalHost, 0);
}

QList<QTcpSocket *> ServerUnderTest::sockets() const
{
    return m_Server->findChildren<QTcpSocket *>();
}

bool ServerUnderTest::link(const QString &target, const QString &instrumentPath) const
{
    return QFile::link(target, m_Root.path(instrumentPath));
}

bool ServerUnderTest::mkfifo(const QString &instrumentPath) const
{
    return ::mkfifo(QFile::encodeName(m_Root.path(instrumentPath)).constData(), 0600) == 0;
}
