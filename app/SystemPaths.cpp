#include "SystemPaths.h"

#include <QDir>

QString SystemPaths::root()
{
    QString r = qEnvironmentVariable("ORBELIN_ROOT");
    while (r.size() > 1 && r.endsWith(QLatin1Char('/')))
        r.chop(1);
    if (r == QLatin1String("/"))
        return QString();
    return r;
}

QString SystemPaths::map(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return path;
    const QString r = root();
    if (r.isEmpty())
        return path;
    // Already mapped (a path handed back by Qt from a mapped folder).
    if (path == r || path.startsWith(r + QLatin1Char('/')))
        return path;
    return r + path;
}

std::string SystemPaths::map(const std::string &path)
{
    // Byte for byte: a name that is not UTF-8 must lead to the same entry.
    if (path.empty() || path.front() != '/')
        return path;
    const std::string r = root().toStdString();
    if (r.empty() || path == r || path.compare(0, r.size() + 1, r + '/') == 0)
        return path;
    return r + path;
}

QString SystemPaths::unmap(const QString &realPath)
{
    const QString r = root();
    if (r.isEmpty())
        return realPath;
    if (realPath == r)
        return QStringLiteral("/");
    if (realPath.startsWith(r + QLatin1Char('/')))
        return realPath.mid(r.size());
    return realPath;
}

QString SystemPaths::programFolder() { return QStringLiteral("/root/ORBELIN_Vn"); }
QString SystemPaths::settingsFile() { return QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn.ini"); }
QString SystemPaths::protocolFolder() { return QStringLiteral("/root/ORBELIN_Vn/Protocol"); }
QString SystemPaths::resultsLogFile() { return QStringLiteral("/root/ORBELIN_Vn/CountingResults.csv"); }
QString SystemPaths::dataFolder() { return QStringLiteral("/ORBELIN"); }
QString SystemPaths::mediaFolder() { return QStringLiteral("/media"); }

std::string SystemPaths::settings() { return settingsFile().toStdString(); }
