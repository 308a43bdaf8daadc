#pragma once

#include <QThread>
#include <QTimer>

#include <atomic>

// Watches for the instrument's Wi-Fi device under "/sys/class/net". When a device comes,
// it is brought up and wpa_supplicant is started for it unless it already runs; when it
// goes, wpa_supplicant is stopped. Each change is reported once.
class WLANMonitor : public QThread
{
    Q_OBJECT

public:
    explicit WLANMonitor(QObject *parent = nullptr);
    ~WLANMonitor() override;

    void setDeviceNamePattern(const QString &pattern);
    void setMonitoring(bool on);
    // Ends polling for good and waits for a poll in progress.
    void stop();

public Q_SLOTS:
    void slotPullingTimer();

Q_SIGNALS:
    // state 0: no device (device empty); 1: device present.
    void signalDetectDevice(int state, const QString &device);

protected:
    void run() override;

private:
    void bringUp(const QString &device);

    std::atomic<bool> m_Monitoring{false};
    QString m_Pattern;          // written before polling starts, read by the polls
    QTimer m_Timer;
    bool m_Present = false;     // touched only by run(), and polls never overlap
    bool m_Previous = false;
};
