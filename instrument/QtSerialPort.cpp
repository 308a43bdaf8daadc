#include "QtSerialPort.h"

QtSerialPort *QtSerialPort::object = nullptr;

QtSerialPort::QtSerialPort(QObject *parent)
    : QObject(parent)
{
}

QtSerialPort::~QtSerialPort() = default;

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

bool QtSerialPort::open()
{
    return false;
}

QString QtSerialPort::sendToSerialPortFast(const QString &command, unsigned int timeoutMs)
{
    Q_UNUSED(command)
    Q_UNUSED(timeoutMs)
    return QString();
}
