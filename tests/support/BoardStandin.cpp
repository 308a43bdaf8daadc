#include "BoardStandin.h"

#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

BoardStandin::BoardStandin(const QString &device)
    : m_Device(device)
{
    const QString name = QFileInfo(device).fileName();
    const QString run = SystemPaths::map(QStringLiteral("/run"));
    QDir().mkpath(run);
    QDir().mkpath(SystemPaths::map(QStringLiteral("/dev")));
    m_Log = run + QLatin1Char('/') + name + QStringLiteral(".log");
    m_Control = run + QLatin1Char('/') + name + QStringLiteral(".control");
    m_Process.setProcessChannelMode(QProcess::SeparateChannels);
}

BoardStandin::~BoardStandin()
{
    stop();
}

bool BoardStandin::start()
{
    QFile::remove(m_Control);   // a fresh board answers
    m_Process.start(QStringLiteral(ORBELIN_BUILD_DIR "/standins/orbelin-board"),
                    {QStringLiteral("--link"), SystemPaths::map(m_Device),
                     QStringLiteral("--log"), m_Log, QStringLiteral("--control"), m_Control});
    if (!m_Process.waitForStarted(5000))
        return false;
    // It says "ready" once the link is in place.
    while (!m_Process.canReadLine()) {
        if (!m_Process.waitForReadyRead(5000))
            return false;
    }
    return m_Process.readLine().startsWith("ready");
}

void BoardStandin::stop()
{
    if (m_Process.state() == QProcess::NotRunning)
        return;
    m_Process.terminate();
    if (!m_Process.waitForFinished(3000)) {
        m_Process.kill();
        m_Process.waitForFinished(3000);
    }
}

bool BoardStandin::isRunning() const
{
    return m_Process.state() == QProcess::Running;
}

void BoardStandin::setMode(const QString &mode, int count)
{
    writeMode(mode, count, QIODevice::WriteOnly | QIODevice::Truncate);
}

void BoardStandin::thenMode(const QString &mode, int count)
{
    writeMode(mode, count, QIODevice::WriteOnly | QIODevice::Append);
}

void BoardStandin::writeMode(const QString &mode, int count, QIODevice::OpenMode how)
{
    QFile control(m_Control);
    if (control.open(how)) {
        control.write(mode.toLatin1());
        if (count > 0)
            control.write(' ' + QByteArray::number(count));
        control.write("\n");
    }
}

QStringList BoardStandin::received() const
{
    QFile log(m_Log);
    if (!log.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromLatin1(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void BoardStandin::clearReceived()
{
    QFile::remove(m_Log);
}
