#pragma once

#include <QObject>
#include <QString>

// The process-wide serial link to the controller board.
class QtSerialPort : public QObject
{
    Q_OBJECT

public:
    static QtSerialPort *instance();
    static void release();

    // Reopens the remembered port or finds the board among /dev/ttyUSB*.
    bool open();
    QString sendToSerialPortFast(const QString &command, unsigned int timeoutMs);

private:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    static QtSerialPort *object;
};
