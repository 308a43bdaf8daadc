#include "DeviceAddress.h"

#include "ExternalProgram.h"
#include "WiFiTimeouts.h"

#include <QDebug>
#include <QHostAddress>
#include <QRegularExpression>

QString DeviceAddress::ipv4(const QString &device)
{
    if (device.isEmpty())
        return QString();
    const ProgramResult result = ExternalProgram::run(QStringLiteral("ifconfig"), {device},
                                                      WiFiTimeouts::current().commandMs);
    if (!result.ok()) {
        qDebug() << Q_FUNC_INFO << device << result.describe();
        return QString();
    }
    return parse(QString::fromLatin1(result.output));
}

QString DeviceAddress::parse(const QString &ifconfigOutput)
{
    static const QRegularExpression inet(
        QStringLiteral("^\\s+inet (?:addr:)?([0-9]{1,3}(?:\\.[0-9]{1,3}){3})(?:\\s|$)"),
        QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator it = inet.globalMatch(ifconfigOutput);
    while (it.hasNext()) {
        const QString text = it.next().captured(1);
        QHostAddress address;
        if (address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol)
            return text;
    }
    return QString();
}
