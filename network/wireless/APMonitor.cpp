#include "APMonitor.h"

#include "ExternalProgram.h"
#include "SsidText.h"
#include "WiFiTimeouts.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <climits>

namespace {

const QRegularExpression re_cell_addr(QStringLiteral("^ +Cell[0-9 -]+Address: ([A-Za-z0-9:]+)$"));
const QRegularExpression re_prop_essid(QStringLiteral("^ +ESSID: *\"(.+)\".*$"));
const QRegularExpression re_prop_chan(QStringLiteral("^ +Frequency:.*\\(Channel ([0-9]+)\\).*$"));
const QRegularExpression re_prop_encrypt(QStringLiteral("^ +Encryption key: *([onf]+) *$"));
const QRegularExpression re_prop_quality(QStringLiteral("^.+Quality[:=] *([0-9/]+).*$"));
const QRegularExpression re_prop_rssi(QStringLiteral("^.+Signal level[:=] *([-0-9/]+)(.*)$"));
const QRegularExpression re_prop_noise(QStringLiteral("^.+Noise level[:=] *([0-9/]+).*$"));
const QRegularExpression re_prop_freq(QStringLiteral("^.+Frequency[:=] *([0-9.]+) [MG]Hz.*$"));

} // namespace

APMonitor::APMonitor(QObject *parent)
    : QThread(parent)
    , m_Device(QStringLiteral("wlan0"))
{
}

APMonitor::~APMonitor()
{
    stop();
}

void APMonitor::setDevice(const QString &device)
{
    QMutexLocker lock(&m_Mutex);
    m_Device = device;
}

void APMonitor::setEnabled(bool enabled)
{
    m_Loop = enabled;
}

void APMonitor::stop()
{
    // Cleared whether or not the thread has got going yet, so a stop right after start()
    // still ends the loop.
    m_Loop = false;
    if (isRunning()) {
        quit();
        wait();
    }
}

void APMonitor::run()
{
    while (m_Loop) {
        QString device;
        {
            QMutexLocker lock(&m_Mutex);
            device = m_Device;
        }
        // A failing iwlist answers at once; without the pause the loop would spin.
        if (!scanOnce(device) && m_Loop)
            pause(WiFiTimeouts::current().failedScanPauseMs);
    }
}

bool APMonitor::scanOnce(const QString &device)
{
    const ProgramResult result = ExternalProgram::run(
        QStringLiteral("iwlist"), {device, QStringLiteral("scan")},
        WiFiTimeouts::current().commandMs);
    // The whole scan text is read once iwlist has finished; a scan cut short gives nothing.
    if (!result.finished || result.output.isEmpty()) {
        qDebug() << Q_FUNC_INFO << device << result.describe();
        return false;
    }
    QByteArray bytes = result.output;
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    bool any = false;
    while (!lines.isEmpty()) {
        AccessPoint ap;
        if (parse_iwlist_output(lines, ap)) {
            any = true;
            emit signalNetworkStateChanged(ap);
        }
    }
    return any;
}

void APMonitor::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (m_Loop && clock.elapsed() < ms)
        msleep(qMin<qint64>(20, ms - clock.elapsed()));
}

bool APMonitor::parse_iwlist_output(QStringList &lines, AccessPoint &ap)
{
    // Each cell starts from an empty record: a cell never takes a field of the one before.
    ap = AccessPoint();
    while (!lines.isEmpty()) {
        const QString line = lines.first();
        QRegularExpressionMatch m = re_cell_addr.match(line);
        if (m.hasMatch()) {
            if (!ap.bssid.isEmpty())
                return true;        // the next cell starts here
            ap.bssid = m.captured(1);
            lines.removeFirst();
            continue;
        }
        lines.removeFirst();
        if (ap.bssid.isEmpty())
            continue;               // text before the first cell

        m = re_prop_essid.match(line);
        if (m.hasMatch()) {
            ap.essid = SsidText::fromIwlist(m.captured(1));
            continue;
        }
        const QRegularExpressionMatch freq = re_prop_freq.match(line);
        const QRegularExpressionMatch chan = re_prop_chan.match(line);
        if (freq.hasMatch())
            ap.frequency = freq.captured(1).toFloat();
        if (chan.hasMatch())
            ap.channel = chan.captured(1);
        if (freq.hasMatch() || chan.hasMatch())
            continue;
        m = re_prop_encrypt.match(line);
        if (m.hasMatch()) {
            ap.encrypted = m.captured(1) == QLatin1String("on");
            continue;
        }
        m = re_prop_quality.match(line);
        if (m.hasMatch())
            ap.quality = m.captured(1);
        m = re_prop_rssi.match(line);
        if (m.hasMatch())
            ap.level = levelOf(m.captured(1), m.captured(2));
        m = re_prop_noise.match(line);
        if (m.hasMatch())
            qDebug() << Q_FUNC_INFO << ap.bssid << "noise" << m.captured(1);
    }
    return !ap.bssid.isEmpty();
}

int APMonitor::levelOf(const QString &value, const QString &rest)
{
    // Wide and bounded: a reading such as "536870912/-1" overflows an int on the way.
    auto number = [](const QString &text) {
        return qBound<qint64>(INT_MIN, text.toLongLong(), INT_MAX);
    };
    const QStringList parts = value.split(QLatin1Char('/'));
    qint64 level = number(parts.at(0));
    if (parts.size() >= 2) {
        const qint64 scale = number(parts.at(1));
        level = scale != 0 ? level * 100 / scale : 0;   // "a/0" carries no level
    }
    if (rest.contains(QLatin1String("dBm"))) {
        // dBm to a 0..100 scale: -30 dBm gives 95, -60 gives 65, -95 and below give 0.
        const double x = double(level);
        const double y = -0.01535185 * x * x - 0.37943426 * x + 98.181873;
        if (y <= 0)
            return 0;
        if (y >= 100)
            return 100;
        return int(y);
    }
    return int(qBound<qint64>(0, level, 100));
}
