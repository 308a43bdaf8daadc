#pragma once

#include "AccessPoint.h"

#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>

// Lists the Wi-Fi networks in range: runs "iwlist <device> scan" again and again on its
// own thread and reports one AccessPoint per cell until it is stopped.
class APMonitor : public QThread
{
    Q_OBJECT

public:
    explicit APMonitor(QObject *parent = nullptr);
    ~APMonitor() override;

    void setDevice(const QString &device);
    // The loop flag: set it before start(); clearing it ends the loop after the scan in
    // progress.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_Loop; }
    // Clears the loop flag and waits for the scan in progress to end.
    void stop();

    // Consumes the lines of one cell (and any text before it) into ap; true when a cell
    // was read.
    static bool parse_iwlist_output(QStringList &lines, AccessPoint &ap);
    // The 0..100 level of a "Signal level" reading: value is "-40", "45/100" or "a/b",
    // rest is what follows it on the line (" dBm  ").
    static int levelOf(const QString &value, const QString &rest);

Q_SIGNALS:
    void signalNetworkStateChanged(const AccessPoint &ap);

protected:
    void run() override;

private:
    bool scanOnce(const QString &device);
    void pause(int ms);

    mutable QMutex m_Mutex;
    QString m_Device;
    std::atomic<bool> m_Loop{false};
};
