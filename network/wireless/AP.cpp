#include "AP.h"

#include "ExternalProgram.h"
#include "SsidText.h"
#include "SystemPaths.h"
#include "WiFiTimeouts.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString WpaCli = QStringLiteral("wpa_cli");

QByteArray upToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The words of a supplicant event line ("[SECONDS.MICROS: ][DEV: ]EVENT ARGS"), the event
// first; none for a line that holds no event. A quoted value (a network name, in which the
// supplicant escapes quotes and line breaks) stays inside its word, so a name can neither
// start an event nor add an argument.
QStringList eventWords(const QString &line)
{
    static const QRegularExpression prefix(
        QStringLiteral("^(?:\\d+\\.\\d+: )?(?:[^\\s:]+: )?(?=CTRL-EVENT-)"));
    const QRegularExpressionMatch match = prefix.match(line);
    if (!match.hasMatch())
        return QStringList();
    QStringList words{QString()};
    bool inQuotes = false;
    bool escaped = false;
    for (int i = match.capturedEnd(); i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (!inQuotes && c == QLatin1Char(' ')) {
            if (!words.last().isEmpty())
                words << QString();
            continue;
        }
        if (escaped)
            escaped = false;
        else if (c == QLatin1Char('\\'))
            escaped = inQuotes;
        else if (c == QLatin1Char('"'))
            inQuotes = !inQuotes;
        words.last() += c;
    }
    return words;
}

} // namespace

AP::AP(QObject *parent)
    : QObject(parent)
{
}

// The output lines of one wpa_cli call; none when it could not start or did not finish
// in time. wpa_cli exits 0 when the supplicant refuses a command ("FAIL" on stdout), so the
// reply text, not the exit status, tells the outcome.
QStringList AP::command(const QStringList &arguments, Decoding decoding)
{
    const ProgramResult result =
        ExternalProgram::run(WpaCli, arguments, WiFiTimeouts::current().commandMs);
    if (!result.started || !result.finished) {
        qDebug() << Q_FUNC_INFO << arguments.value(0) << result.describe();
        return QStringList();
    }
    if (result.output.isEmpty())
        return QStringList();
    const QString text = decoding == Latin1 ? QString::fromLatin1(upToNul(result.output))
                                            : QString::fromUtf8(result.output);
    return text.split(QLatin1Char('\n'));
}

// The first line names the selected interface; the supplicant's answer follows.
bool AP::okReply(const QStringList &lines, bool firstLineCounts)
{
    if (!firstLineCounts && lines.size() < 2)
        return false;
    for (int i = firstLineCounts ? 0 : 1; i < lines.size(); ++i) {
        if (lines.at(i) == QLatin1String("OK"))
            return true;
    }
    return false;
}

int AP::getIdBySSID(const QString &ssid, const QString &bssid) const
{
    // "list_network" is a unique prefix of list_networks, which wpa_cli accepts.
    const QStringList lines = command({QStringLiteral("list_network")}, Latin1);
    if (lines.size() < 3)
        return -1;
    int candidate = -1;
    for (int i = 2; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        if (fields.size() < 3)
            continue;
        bool ok = false;
        const int id = fields.at(0).toInt(&ok);
        if (!ok)
            continue;
        if (SsidText::fromWpaCli(fields.at(1)) == ssid)
            candidate = id;
        if (!bssid.isEmpty() && fields.at(2).toLower() == bssid.toLower())
            return id;
    }
    return candidate;
}

std::vector<int> AP::list() const
{
    std::vector<int> ids;
    const QStringList lines = command({QStringLiteral("list_networks")});
    for (int i = 2; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        bool ok = false;
        const int id = lines.at(i).section(QLatin1Char('\t'), 0, 0).toInt(&ok);
        if (ok)
            ids.push_back(id);
    }
    return ids;
}

int AP::add_new() const
{
    const QStringList lines = command({QStringLiteral("add_network")}, Latin1);
    for (int i = 1; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.isEmpty())
            continue;
        bool digits = true;
        for (const QChar c : line)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits) {
            bool ok = false;
            const int id = line.toInt(&ok);
            if (ok)
                return id;
        }
    }
    return -1;
}

bool AP::setSSID(int id, const QString &ssid, const QString &bssid) const
{
    const QString number = QString::number(id);
    if (!okReply(command({QStringLiteral("set_network"), number, QStringLiteral("ssid"),
                          quoted(ssid)})))
        return false;
    if (bssid.size() == 17)
        command({QStringLiteral("bssid"), number, bssid});
    return true;
}

bool AP::select(int id) const
{
    return okReply(command({QStringLiteral("select_network"), QString::number(id)}));
}

bool AP::enable(int id) const
{
    return okReply(command({QStringLiteral("select_network"), QString::number(id)}, Latin1),
                   true);
}

bool AP::setInsecure(int id) const
{
    return okReply(command({QStringLiteral("set_network"), QString::number(id),
                            QStringLiteral("key_mgmt"), QStringLiteral("NONE")}));
}

bool AP::setPassword(int id, const QString &key) const
{
    clear_log_file();
    return okReply(command({QStringLiteral("set_network"), QString::number(id),
                            QStringLiteral("psk"), quoted(key)}));
}

void AP::remove(int id) const
{
    if (id < 0)
        return;
    command({QStringLiteral("remove_network"), QString::number(id)});
}

void AP::removeAll() const
{
    for (const int id : list())
        remove(id);
}

bool AP::isConnected() const
{
    const QStringList lines = command({QStringLiteral("status")});
    for (const QString &line : lines) {
        if (line.contains(QLatin1String("wpa_state=")) && line.contains(QLatin1String("COMPLETED")))
            return true;
    }
    return false;
}

int AP::validatePassword() const
{
    const ProgramResult result = ExternalProgram::run(
        QStringLiteral("cat"), {SystemPaths::map(logFile())}, WiFiTimeouts::current().commandMs);
    if (!result.finished)
        return 0;
    bool wrongKey = false;
    const QStringList lines = QString::fromLatin1(upToNul(result.output)).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = eventWords(line);
        if (words.isEmpty())
            continue;
        if (words.first() == QLatin1String("CTRL-EVENT-CONNECTED"))
            return 2;
        if (words.first() == QLatin1String("CTRL-EVENT-SSID-TEMP-DISABLED")
            && words.contains(QLatin1String("reason=WRONG_KEY")))
            wrongKey = true;
    }
    return wrongKey ? 1 : 0;
}

void AP::clear_log_file() const
{
    QFile log(SystemPaths::map(logFile()));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << Q_FUNC_INFO << log.fileName() << log.errorString();
        return;
    }
    log.flush();
    log.close();
}
