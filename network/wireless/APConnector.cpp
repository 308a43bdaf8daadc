#include "APConnector.h"

#include "DeviceAddress.h"
#include "ExternalProgram.h"
#include "SystemPaths.h"
#include "WiFiTimeouts.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString savedFilePath(const QString &bssid)
{
    const QString name = APConnector::fileNameOf(bssid);
    if (name.isEmpty())
        return QString();
    return SystemPaths::map(APConnector::settingsFolder()) + QLatin1Char('/') + name;
}

// Creates the file empty and readable by its owner only, before any key is written to it.
bool createPrivateFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

bool pingReplied(const QByteArray &output, const QString &gateway)
{
    const QString replies = QStringLiteral(" bytes from ") + gateway + QLatin1Char(':');
    for (const QString &line : QString::fromLatin1(output).split(QLatin1Char('\n'))) {
        if (line.contains(replies))
            return true;
    }
    return false;
}

} // namespace

void saveAPInfo(const QString &bssid, const QString &name, const QString &psk)
{
    const QString path = savedFilePath(bssid);
    if (path.isEmpty()) {
        qDebug() << Q_FUNC_INFO << "not a BSSID:" << bssid;
        return;
    }
    const QString folder = SystemPaths::map(APConnector::settingsFolder());
    if (!QFile::exists(path) && !QDir(folder).exists()) {
        if (!QDir().mkpath(folder)) {
            qDebug() << Q_FUNC_INFO << "cannot create" << folder;
            return;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    removeAPInfo(bssid);
    if (!createPrivateFile(path)) {
        qDebug() << Q_FUNC_INFO << "cannot create" << path;
        return;
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("SSID/BSSID"), bssid);
        settings.setValue(QStringLiteral("SSID/Name"), name);
        settings.setValue(QStringLiteral("SSID/PSK"), psk);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            qDebug() << Q_FUNC_INFO << "cannot write" << path;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void removeAPInfo(const QString &bssid)
{
    const QString path = savedFilePath(bssid);
    if (!path.isEmpty() && QFile::exists(path))
        QFile::remove(path);
}

QString APConnector::fileNameOf(const QString &bssid)
{
    static const QRegularExpression address(QStringLiteral("^[A-Za-z0-9:]+$"));
    if (!address.match(bssid).hasMatch())
        return QString();
    return (QString(bssid).replace(QLatin1Char(':'), QLatin1Char('-')) + QStringLiteral(".ini"))
        .toLower();
}

APConnector::APConnector(QObject *parent)
    : QThread(parent)
{
}

APConnector::~APConnector()
{
    {
        QMutexLocker lock(&m_Mutex);
        m_Abort = true;
        m_Cancel = true;
        m_Wait.wakeAll();
    }
    wait();     // every step of a run is bounded
}

void APConnector::setDevice(const QString &device)
{
    QMutexLocker lock(&m_Mutex);
    m_Request.device = device;
}

QString APConnector::device() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Request.device;
}

QString APConnector::address() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Address;
}

bool APConnector::connectTo(const QString &ssid, const QString &bssid, bool secured)
{
    if (m_Active) {
        qDebug() << Q_FUNC_INFO << "a connection run is active; refused" << ssid;
        return false;
    }
    if (isRunning())
        wait();     // the previous run has reported and is ending
    {
        // Everything the run reads is set before it starts, so a cancel that arrives
        // before the thread gets going is not lost.
        QMutexLocker lock(&m_Mutex);
        m_Request.ssid = ssid;
        m_Request.bssid = bssid;
        m_Request.secured = secured;
        m_Key.clear();
        m_KeyGiven = false;
        m_Cancel = false;
        m_Address.clear();
    }
    m_Active = true;
    start();
    return true;
}

void APConnector::slotSetPassword(const QString &key)
{
    QMutexLocker lock(&m_Mutex);
    m_Key = key;
    m_KeyGiven = true;
    m_Wait.wakeAll();
}

void APConnector::slotCancel()
{
    QMutexLocker lock(&m_Mutex);
    m_Cancel = true;
    m_Wait.wakeAll();
}

void APConnector::cancel()
{
    slotCancel();
}

bool APConnector::cancelled() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Cancel;
}

bool APConnector::pause(int ms)
{
    QMutexLocker lock(&m_Mutex);
    QDeadlineTimer deadline(ms);
    while (!m_Abort) {
        if (!m_Wait.wait(&m_Mutex, deadline))
            break;
    }
    return !m_Abort;
}

void APConnector::initialize()
{
    if (m_Active) {
        qDebug() << Q_FUNC_INFO << "a connection run is active; saved networks not reloaded";
        return;
    }
    m_Ap.removeAll();
    const QDir folder(SystemPaths::map(settingsFolder()));
    const QStringList files =
        folder.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Unsorted);
    for (const QString &file : files) {
        const QSettings saved(folder.filePath(file), QSettings::IniFormat);
        const QString bssid = saved.value(QStringLiteral("SSID/BSSID")).toString();
        const QString name = saved.value(QStringLiteral("SSID/Name")).toString();
        const QString psk = saved.value(QStringLiteral("SSID/PSK")).toString();
        if (name.isEmpty() || psk.isEmpty())
            continue;
        const int id = m_Ap.add_new();
        if (id < 0) {
            emit signalAPConnectionError(AP_ERROR_NO_NETWORK_ID);
            continue;
        }
        if (!m_Ap.setSSID(id, name, bssid) || !m_Ap.setPassword(id, psk)) {
            emit signalAPConnectionError(AP_ERROR_NETWORK_REFUSED);
            m_Ap.remove(id);
        }
    }
}

void APConnector::run()
{
    Request request;
    {
        QMutexLocker lock(&m_Mutex);
        request = m_Request;
    }
    const bool connected = connectRun(request);
    m_Active = false;
    if (connected)
        emit signalConnectedToAP(request.ssid);
    else
        emit signalNoConnectedToAP();
}

bool APConnector::connectRun(const Request &request)
{
    QString typedKey;
    if (!joinNetwork(request, &typedKey))
        return false;
    if (!typedKey.isEmpty())
        saveAPInfo(request.bssid, request.ssid, typedKey);
    if (cancelled())
        return false;
    return obtainAddress(request);
}

// Registration, key, selection, key check and association.
bool APConnector::joinNetwork(const Request &request, QString *typedKey)
{
    const WiFiTimeouts timeouts = WiFiTimeouts::current();
    bool needKey = false;
    int id = m_Ap.getIdBySSID(request.ssid, request.bssid);
    if (id < 0) {
        id = m_Ap.add_new();
        if (id < 0) {
            emit signalAPConnectionError(AP_ERROR_NO_NETWORK_ID);
            return false;
        }
        if (!m_Ap.setSSID(id, request.ssid, request.bssid)) {
            m_Ap.remove(id);
            emit signalAPConnectionError(AP_ERROR_NETWORK_REFUSED);
            return false;
        }
        needKey = true;
    }
    // A known network uses its stored key; the key is asked for again only when the
    // access point rejects it.
    for (;;) {
        if (needKey && request.secured) {
            for (;;) {
                if (!askKey(typedKey)) {
                    m_Ap.remove(id);
                    return false;
                }
                if (m_Ap.setPassword(id, *typedKey))
                    break;
                emit signalAPConnectionError(AP_ERROR_KEY_REFUSED);
            }
        } else if (needKey) {
            m_Ap.setInsecure(id);
        }
        if (!m_Ap.select(id)) {
            emit signalAPConnectionError(AP_ERROR_SELECT_REFUSED);
            return false;
        }
        if (!m_Ap.enable(id)) {
            m_Ap.remove(id);
            emit signalAPConnectionError(AP_ERROR_NETWORK_REFUSED);
            return false;
        }
        if (!request.secured)
            break;
        int state = 0;
        for (int i = 0; i < timeouts.keyChecks && state == 0; ++i) {
            if (!pause(timeouts.keyCheckIntervalMs))
                return false;
            state = m_Ap.validatePassword();
        }
        if (state == 0)
            return false;
        if (state == 2)
            break;
        removeAPInfo(request.bssid);
        emit signalAPConnectionError(AP_ERROR_KEY_REFUSED);
        needKey = true;
    }

    emit signalShowConnectingMessage();
    for (int i = 0; i < timeouts.associationChecks; ++i) {
        if (m_Ap.isConnected())
            return true;
        if (!pause(timeouts.associationIntervalMs))
            return false;
    }
    emit signalAPConnectionError(AP_ERROR_NOT_ASSOCIATED);
    return false;
}

// Waits for the key dialog's answer; false on cancel or when nobody answers in time.
bool APConnector::askKey(QString *key)
{
    QMutexLocker lock(&m_Mutex);
    if (m_Cancel || m_Abort)
        return false;
    m_KeyGiven = false;
    // The mutex is held from the request until the wait releases it, so an answer can
    // only arrive while the run is waiting for it.
    emit signalInputPassword();
    QDeadlineTimer deadline(WiFiTimeouts::current().keyWaitMs);
    while (!m_KeyGiven && !m_Cancel && !m_Abort) {
        if (!m_Wait.wait(&m_Mutex, deadline)) {
            qDebug() << Q_FUNC_INFO << "no key within" << deadline.deadline();
            m_Cancel = true;
            break;
        }
    }
    if (m_Cancel || m_Abort)
        return false;
    *key = m_Key;
    return true;
}

// DHCP, gateway, ping and address check. Success needs replies from the gateway on this
// device and an IPv4 address on it.
bool APConnector::obtainAddress(const Request &request)
{
    const WiFiTimeouts timeouts = WiFiTimeouts::current();
    ExternalProgram::startDetached(QStringLiteral("pkill"),
                                   {QStringLiteral("--full"),
                                    QStringLiteral("dhclient.+") + request.device});
    if (!pause(100))
        return false;
    const ProgramResult dhcp =
        ExternalProgram::run(QStringLiteral("dhclient"), {request.device}, timeouts.dhcpMs);
    if (!dhcp.ok()) {
        qDebug() << Q_FUNC_INFO << "dhclient" << dhcp.describe();
        return false;
    }
    const QString gatewayAddress = gateway();
    if (gatewayAddress.isEmpty()) {
        qDebug() << Q_FUNC_INFO << "no default route on" << request.device;
        return false;
    }
    const ProgramResult ping = ExternalProgram::run(
        QStringLiteral("ping"),
        {QStringLiteral("-c"), QStringLiteral("3"), QStringLiteral("-w"), QStringLiteral("10"),
         QStringLiteral("-I"), request.device, gatewayAddress},
        timeouts.pingMs);
    if (!ping.finished || !pingReplied(ping.output, gatewayAddress)) {
        qDebug() << Q_FUNC_INFO << "no reply from" << gatewayAddress << ping.describe();
        return false;
    }
    const QString address = DeviceAddress::ipv4(request.device);
    if (address.isEmpty()) {
        qDebug() << Q_FUNC_INFO << "no IPv4 address on" << request.device;
        return false;
    }
    QMutexLocker lock(&m_Mutex);
    m_Address = address;
    return true;
}

QString APConnector::gateway() const
{
    const QString device = this->device();
    const ProgramResult result = ExternalProgram::run(QStringLiteral("route"), {QStringLiteral("-n")},
                                                      WiFiTimeouts::current().commandMs);
    if (!result.finished)
        return QString();
    QByteArray bytes = result.output;
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    // Two header lines, then: Destination Gateway Genmask Flags Metric Ref Use Iface.
    for (int i = 2; i < lines.size(); ++i) {
        const QStringList tokens = lines.at(i).split(QRegularExpression(QStringLiteral("\\s+")),
                                                     Qt::SkipEmptyParts);
        if (tokens.size() < 8)
            continue;
        const QString &flags = tokens.at(3);
        if (flags.contains(QLatin1Char('U')) && flags.contains(QLatin1Char('G'))
            && tokens.at(7) == device)
            return tokens.at(1);
    }
    return QString();
}
