#include "PrivateProfile.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>

#include <vector>

namespace {

QMutex s_mutex;

std::string trim(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// Files written by Qt's settings class encode blanks in names as "%20".
std::string decodeName(std::string name)
{
    std::string::size_type pos;
    while ((pos = name.find("%20")) != std::string::npos)
        name.replace(pos, 3, " ");
    return trim(name);
}

std::vector<std::string> readLines(const QString &realPath, bool *exists)
{
    std::vector<std::string> lines;
    QFile file(realPath);
    *exists = file.open(QIODevice::ReadOnly);
    if (!*exists)
        return lines;
    const QByteArray all = file.readAll();
    std::string text(all.constData(), size_t(all.size()));
    std::string::size_type start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool sectionHeader(const std::string &line, std::string *name)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    *name = decodeName(t.substr(1, t.size() - 2));
    return true;
}

bool keyLine(const std::string &line, std::string *key, std::string *value)
{
    const std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[')
        return false;
    const auto eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    *key = decodeName(line.substr(0, eq));
    std::string v = line.substr(eq + 1);
    if (!v.empty() && v.back() == '\r')
        v.pop_back();
    *value = v;
    return true;
}

} // namespace

int ReadPrivateProfileString(const std::string &section, const std::string &key,
                             const std::string &defaultValue, std::string &value,
                             const std::string &path)
{
    QMutexLocker lock(&s_mutex);
    bool exists = false;
    const auto lines = readLines(SystemPaths::map(QString::fromStdString(path)), &exists);
    const std::string wantedSection = decodeName(section);
    const std::string wantedKey = decodeName(key);
    std::string current;
    bool inSection = false;
    for (const std::string &line : lines) {
        std::string name, k, v;
        if (sectionHeader(line, &name)) {
            inSection = name == wantedSection;
            continue;
        }
        if (inSection && keyLine(line, &k, &v) && k == wantedKey) {
            if (v.empty())
                break;
            value = v;
            return 1;
        }
    }
    value = defaultValue;
    return 0;
}

bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &path)
{
    QMutexLocker lock(&s_mutex);
    const QString realPath = SystemPaths::map(QString::fromStdString(path));
    bool exists = false;
    std::vector<std::string> lines = readLines(realPath, &exists);

    const std::string wantedSection = decodeName(section);
    const std::string wantedKey = decodeName(key);
    // A value is one line of the file.
    std::string cleanValue = value;
    for (char &c : cleanValue) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    const std::string newLine = wantedKey + "=" + cleanValue;

    bool inSection = false;
    bool sectionFound = false;
    bool written = false;
    std::vector<std::string>::size_type insertAt = 0;
    for (std::vector<std::string>::size_type i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (sectionHeader(lines[i], &name)) {
            if (inSection)
                break;
            inSection = name == wantedSection;
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (keyLine(lines[i], &k, &v) && k == wantedKey) {
            lines[i] = newLine;
            written = true;
            break;
        }
        if (!trim(lines[i]).empty())
            insertAt = i + 1;
    }
    if (!written) {
        if (sectionFound) {
            lines.insert(lines.begin() + std::ptrdiff_t(insertAt), newLine);
        } else {
            while (!lines.empty() && trim(lines.back()).empty())
                lines.pop_back();
            if (!lines.empty())
                lines.push_back(std::string());
            lines.push_back("[" + wantedSection + "]");
            lines.push_back(newLine);
        }
    }

    QDir().mkpath(QFileInfo(realPath).absolutePath());
    QSaveFile file(realPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << Q_FUNC_INFO << realPath << file.errorString();
        return false;
    }
    std::string text;
    for (const std::string &line : lines) {
        text += line;
        text += '\n';
    }
    file.write(text.data(), qint64(text.size()));
    if (!file.commit()) {
        qDebug() << Q_FUNC_INFO << realPath << file.errorString();
        return false;
    }
    return true;
}
