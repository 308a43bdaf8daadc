#include "DateTimer.h"

#include <QDateTime>
#include <QTimer>

DateTimer::DateTimer(QObject *parent)
    : QObject(parent)
    , m_Timer(new QTimer(this))
{
    m_Timer->setInterval(10000);
    connect(m_Timer, &QTimer::timeout, this, &DateTimer::updateDateTime);
}

void DateTimer::start()
{
    m_Timer->start();
    updateDateTime();
}

void DateTimer::updateDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    emit updateCurrentDateTime(now.toString(QStringLiteral("yyyy-MM-dd")),
                               now.toString(QStringLiteral("hh:mm")));
}
