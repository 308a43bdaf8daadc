#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The controller-board stand-in (standins/board) for one test: a pseudo-terminal linked
// as "/dev/ttyUSB<n>" inside the current TestRoot, answering the board's commands.
// Stopped (and its link removed) when the object goes.
class BoardStandin
{
public:
    explicit BoardStandin(const QString &device = QStringLiteral("/dev/ttyUSB0"));
    ~BoardStandin();

    // Starts the board and waits until its link is in place; false if it did not start.
    bool start();
    // Ends the board as an unplugged one: the link goes.
    void stop();
    bool isRunning() const;

    // The next answers: "ok", "silent", "ng", "late:MS", "noise" or "vanish", for count
    // commands (then "ok" again), or for all commands when count is 0.
    void setMode(const QString &mode, int count = 0);
    // The answers after those of the modes set so far.
    void thenMode(const QString &mode, int count = 0);

    // Every command line the board received, oldest first.
    QStringList received() const;
    void clearReceived();

    QString device() const { return m_Device; }

private:
    void writeMode(const QString &mode, int count, QIODevice::OpenMode how);

    QString m_Device;
    QString m_Log;
    QString m_Control;
    QProcess m_Process;
};
