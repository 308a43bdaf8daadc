#include "WLANMonitor.h"

#include "AP.h"
#include "ExternalProgram.h"
#include "SystemPaths.h"
#include "WiFiTimeouts.h"

#include <QDebug>
#include <QDir>
#include <QProcess>

namespace {
const char NetFolder[] = "/sys/class/net";
const char SupplicantConfig[] = "/etc/wpa_supplicant.conf";
} // namespace

WLANMonitor::WLANMonitor(QObject *parent)
    : QThread(parent)
    , m_Pattern(QStringLiteral("wlan*"))
{
    connect(&m_Timer, &QTimer::timeout, this, &WLANMonitor::slotPullingTimer);
    setMonitoring(true);
}

WLANMonitor::~WLANMonitor()
{
    stop();
}

void WLANMonitor::setDeviceNamePattern(const QString &pattern)
{
    m_Pattern = pattern;
}

void WLANMonitor::setMonitoring(bool on)
{
    m_Monitoring = on;
    if (on)
        m_Timer.start(WiFiTimeouts::current().devicePollMs);
    else
        m_Timer.stop();
}

void WLANMonitor::slotPullingTimer()
{
    if (m_Monitoring && !isRunning())
        start();
}

void WLANMonitor::stop()
{
    setMonitoring(false);
    if (isRunning()) {
        quit();
        wait();     // one poll, each program in it bounded
    }
}

void WLANMonitor::run()
{
    const QDir net(SystemPaths::map(QString::fromLatin1(NetFolder)));
    const QStringList devices = net.entryList({m_Pattern},
                                              QDir::Dirs | QDir::Files | QDir::Drives
                                                  | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::Unsorted);
    m_Present = !devices.isEmpty();
    if (m_Present == m_Previous)
        return;
    m_Previous = m_Present;

    if (!m_Present) {
        ExternalProgram::startDetached(QStringLiteral("pkill"), {QStringLiteral("wpa_supplicant")});
        emit signalDetectDevice(0, QString());
        return;
    }
    const QString device = devices.first();
    bringUp(device);
    emit signalDetectDevice(1, device);
}

void WLANMonitor::bringUp(const QString &device)
{
    const int timeout = WiFiTimeouts::current().commandMs;
    QStringList arguments{device};
    const ProgramResult state = ExternalProgram::run(QStringLiteral("ifconfig"), arguments, timeout);
    if (!QString::fromLatin1(state.output).contains(QLatin1String("UP"))) {
        arguments << QStringLiteral("up");
        const ProgramResult up = ExternalProgram::run(QStringLiteral("ifconfig"), arguments, timeout);
        if (!up.ok())
            qDebug() << Q_FUNC_INFO << "ifconfig" << arguments << up.describe();
    }
    // wpa_cli complains on standard error when no supplicant answers it; the arguments
    // are only there to make it connect.
    const ProgramResult probe = ExternalProgram::run(QStringLiteral("wpa_cli"), arguments, timeout);
    if (!probe.errorOutput.isEmpty()) {
        ExternalProgram::startDetached(
            QStringLiteral("wpa_supplicant"),
            {QStringLiteral("-B"), QStringLiteral("-Dwext,nl80211"), QStringLiteral("-i") + device,
             QStringLiteral("-c") + SystemPaths::map(QString::fromLatin1(SupplicantConfig)),
             QStringLiteral("-f") + SystemPaths::map(AP::logFile())});
    }
}
