#pragma once

#include <QObject>

class QTimer;

// The main window's clock: tells the date and time every 10 s.
class DateTimer : public QObject
{
    Q_OBJECT

public:
    explicit DateTimer(QObject *parent = nullptr);

    void start();

public Q_SLOTS:
    void updateDateTime();

Q_SIGNALS:
    void updateCurrentDateTime(const QString &date, const QString &time);

private:
    QTimer *m_Timer;
};
