#include "QtSerialPort.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QRegularExpression>
#include <QSerialPort>

#include <algorithm>

QtSerialPort *QtSerialPort::object = nullptr;

namespace {

// A reply longer than this without a line end is noise.
const int MaxLineLength = 1024;

// The port that answered last, kept across instances so the next holder reopens it.
QMutex s_RememberedMutex;
QString s_Remembered;

QString remembered()
{
    QMutexLocker lock(&s_RememberedMutex);
    return s_Remembered;
}

void remember(const QString &port)
{
    QMutexLocker lock(&s_RememberedMutex);
    s_Remembered = port;
}

// "/dev/ttyUSB*" in number order (ttyUSB2 before ttyUSB10).
QStringList candidatePorts()
{
    const QDir dev(SystemPaths::map(QStringLiteral("/dev")));
    QStringList names = dev.entryList({QStringLiteral("ttyUSB*")},
                                      QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.midRef(6).toInt() < b.midRef(6).toInt();
    });
    QStringList ports;
    for (const QString &name : names)
        ports << QStringLiteral("/dev/") + name;
    return ports;
}

} // namespace

QtSerialPort::QtSerialPort(QObject *parent)
    : QObject(parent)
    , m_Port(new QSerialPort(this))
{
    // An unplugged board leaves a port that only reports errors: close it, so the next
    // command fails at once. Queued, as the port may be inside a wait right now; by then
    // the port may have been reopened, so the error is looked at again.
    connect(m_Port, &QSerialPort::errorOccurred, this, [this] {
        if (m_Port->isOpen() && m_Port->error() == QSerialPort::ResourceError)
            closePort();
    }, Qt::QueuedConnection);
}

QtSerialPort::~QtSerialPort()
{
    closePort();
}

QtSerialPort *QtSerialPort::instance()
{
    if (!object)
        object = new QtSerialPort;
    return object;
}

void QtSerialPort::release()
{
    delete object;
    object = nullptr;
}

bool QtSerialPort::isOpen() const
{
    return m_Port->isOpen();
}

QString QtSerialPort::portName() const
{
    return m_Port->isOpen() ? m_PortName : QString();
}

bool QtSerialPort::open()
{
    if (m_Port->isOpen())
        return true;
    // The port that answered last is asked first; every device answers the probe, so a
    // port that changed hands is not taken for the board.
    const QString last = remembered();
    QStringList ports = candidatePorts();
    if (ports.removeAll(last) > 0)
        ports.prepend(last);
    for (const QString &port : qAsConst(ports)) {
        if (openPort(port)) {
            remember(port);
            qDebug() << Q_FUNC_INFO << "controller board on" << port;
            return true;
        }
    }
    remember(QString());
    qDebug() << Q_FUNC_INFO << "no controller board answered";
    return false;
}

bool QtSerialPort::openPort(const QString &instrumentPath)
{
    closePort();
    m_Port->setPortName(SystemPaths::map(instrumentPath));
    m_Port->setBaudRate(QSerialPort::Baud115200);
    m_Port->setDataBits(QSerialPort::Data8);
    m_Port->setParity(QSerialPort::NoParity);
    m_Port->setStopBits(QSerialPort::OneStop);
    m_Port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_Port->open(QIODevice::ReadWrite)) {
        qDebug() << Q_FUNC_INFO << instrumentPath << m_Port->errorString();
        return false;
    }
    m_PortName = instrumentPath;
    m_Port->clear();
    if (!replyOk(sendToSerialPortFast(QString::fromLatin1(BoardCommand::Version),
                                               ProbeTimeoutMs))) {
        qDebug() << Q_FUNC_INFO << instrumentPath << "does not answer as a controller board";
        closePort();
        return false;
    }
    return true;
}

void QtSerialPort::closePort()
{
    if (m_Port->isOpen())
        m_Port->close();
    m_Pending.clear();
    m_PortName.clear();
}

QString QtSerialPort::takeLine()
{
    for (;;) {
        int end = -1;
        for (int i = 0; i < m_Pending.size(); ++i) {
            if (m_Pending.at(i) == '\r' || m_Pending.at(i) == '\n') {
                end = i;
                break;
            }
        }
        if (end < 0) {
            if (m_Pending.size() > MaxLineLength)
                m_Pending.clear();
            return QString();
        }
        QByteArray line = m_Pending.left(end);
        m_Pending.remove(0, end + 1);
        // Noise in front of a reply: the reply starts at its dollar sign.
        const int dollar = line.indexOf('$');
        if (dollar < 0)
            continue;
        return QString::fromLatin1(line.mid(dollar));
    }
}

QString QtSerialPort::sendToSerialPortFast(const QString &command, unsigned int timeoutMs)
{
    if (!m_Port->isOpen()) {
        qDebug() << Q_FUNC_INFO << "link not open for" << command.trimmed();
        return QString();
    }
    // What is waiting now answers earlier commands.
    m_Port->readAll();
    m_Pending.clear();

    QByteArray line = command.toLatin1();
    if (!line.endsWith('\n'))
        line += '\n';
    QElapsedTimer clock;
    clock.start();
    if (m_Port->write(line) != line.size() || !m_Port->waitForBytesWritten(int(timeoutMs))) {
        qDebug() << Q_FUNC_INFO << "cannot write" << command.trimmed() << m_Port->errorString();
        if (m_Port->error() == QSerialPort::ResourceError)
            closePort();
        return QString();
    }
    for (;;) {
        for (QString reply = takeLine(); !reply.isEmpty(); reply = takeLine()) {
            if (replyBelongsTo(reply, command))
                return reply;
            qDebug() << Q_FUNC_INFO << "skipped" << reply << "waiting for" << command.trimmed();
        }
        const qint64 left = qint64(timeoutMs) - clock.elapsed();
        if (left <= 0)
            break;
        if (!m_Port->waitForReadyRead(int(left))) {
            if (m_Port->error() == QSerialPort::TimeoutError)
                break;
            qDebug() << Q_FUNC_INFO << "link lost:" << m_Port->errorString();
            closePort();
            return QString();
        }
        m_Pending += m_Port->readAll();
    }
    qDebug() << Q_FUNC_INFO << "no reply to" << command.trimmed() << "within" << timeoutMs << "ms";
    return QString();
}

bool QtSerialPort::sendCommand(const QString &command, unsigned int timeoutMs, int *value)
{
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const QString reply = sendToSerialPortFast(command, timeoutMs);
        if (replyOk(reply) && (!value || replyValue(reply, value)))
            return true;
        qDebug() << Q_FUNC_INFO << command.trimmed() << "try" << attempt << "answered" << reply;
        if (!m_Port->isOpen())
            break;   // the board is gone: no use trying again
    }
    return false;
}

bool QtSerialPort::replyOk(const QString &reply)
{
    return reply.mid(1, 2).toUpper() == QLatin1String("OK");
}

bool QtSerialPort::replyValue(const QString &reply, int *value)
{
    const QStringList parts = reply.split(QLatin1Char('#'));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    const int number = parts.at(3).toInt(&ok, 10);
    if (ok && value)
        *value = number;
    return ok;
}

bool QtSerialPort::replyBelongsTo(const QString &reply, const QString &command)
{
    const QString sent = command.trimmed();
    if (sent.size() < 4 || sent.at(0) != QLatin1Char('$') || sent.at(2) != QLatin1Char('#'))
        return false;
    QString text = sent.mid(3);
    // The number a command carries is not part of its reply.
    static const QRegularExpression argument(QStringLiteral(" -?\\d+$"));
    text.remove(argument);
    const QStringList parts = reply.split(QLatin1Char('#'));
    return parts.size() >= 3 && parts.at(0).size() == 3 && parts.at(0).at(0) == QLatin1Char('$')
        && parts.at(1) == sent.mid(1, 1) && parts.at(2) == text;
}
