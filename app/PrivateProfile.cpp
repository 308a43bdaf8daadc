#include "PrivateProfile.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>

#include <cctype>
#include <cstring>
#include <vector>

// The files are those of Qt's INI settings store (QSettings::IniFormat, no codec), read and
// written the way it reads them, except that a write changes only the line of its key (or
// adds one), bytes outside escapes are kept as they are (UTF-8; Qt takes them as Latin-1
// unless the file starts with a byte-order mark), and an unquoted "," is text, where Qt
// would read a list.

namespace {

QMutex s_mutex;

const char ByteOrderMark[] = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isSpace(char c)
{
    return isBlank(c) || c == '\n' || c == '\r';
}

int hexDigit(char c)
{
    static const char digits[] = "0123456789abcdef";
    const char *at = c ? std::strchr(digits, std::tolower(uchar(c))) : nullptr;
    return at ? int(at - digits) : -1;
}

// Text made of bytes taken as they are and of UTF-16 units from escapes.
class DecodedText
{
public:
    void byte(char c)
    {
        flush();
        m_Text += c;
    }
    void unit(uint u) { m_Units += QChar(ushort(u & 0xFFFF)); }
    std::string &text()
    {
        flush();
        return m_Text;
    }

private:
    void flush()
    {
        if (m_Units.isEmpty())
            return;
        m_Text += m_Units.toStdString();
        m_Units.clear();
    }

    std::string m_Text;
    QString m_Units;
};

// "%20" and "%U00E9" stand for characters, "\" for "/".
std::string decodeName(const QByteArray &data, int from, int to)
{
    DecodedText name;
    for (int i = from; i < to; ++i) {
        const char c = data.at(i);
        if (c == '\\') {
            name.byte('/');
            continue;
        }
        const int digits = i + 1 < to && data.at(i + 1) == 'U' ? 4 : 2;
        const int first = digits == 4 ? i + 2 : i + 1;
        bool ok = c == '%' && first + digits <= to;
        uint value = 0;
        for (int d = first; ok && d < first + digits; ++d) {
            ok = hexDigit(data.at(d)) >= 0;
            value = value * 16 + uint(hexDigit(data.at(d)));
        }
        if (!ok) {
            name.byte(c);
            continue;
        }
        name.unit(value);
        i = first + digits - 1;
    }
    return name.text();
}

// Blanks stay inside a name; other characters but letters, digits, "_", "-" and "." are
// written as "%XX" or "%UXXXX", "/" as "\".
std::string encodeName(const std::string &name)
{
    const QString text = QString::fromStdString(name);
    std::string out;
    for (int i = 0; i < text.size(); ++i) {
        const ushort ch = text.at(i).unicode();
        const bool inner = ch == ' ' && i > 0 && i + 1 < text.size();
        if (ch == '/') {
            out += '\\';
        } else if ((ch < 0x80 && QChar::isLetterOrNumber(ch)) || ch == '_' || ch == '-'
                   || ch == '.' || inner) {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += QString::asprintf("%%%02X", ch).toStdString();
        } else {
            out += QString::asprintf("%%U%04X", ch).toStdString();
        }
    }
    return out;
}

std::string fullName(const std::string &section, const std::string &key)
{
    return section.empty() ? key : section + '/' + key;
}

// A value as Qt's store reads it: blanks around it dropped unless quoted, "\" escapes as
// in C ("\xHHHH" one UTF-16 unit), a backslash before a line break joins the lines.
std::string decodeValue(const QByteArray &data, int from, int to)
{
    DecodedText value;
    bool inQuotes = false;
    bool quoted = false;
    size_t plainTail = 0;   // bytes after the last escape: trailing blanks among them go
    int i = from;
    while (i < to && isBlank(data.at(i)))
        ++i;
    while (i < to) {
        const char c = data.at(i++);
        if (c == '"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                while (i < to && isBlank(data.at(i)))
                    ++i;
            }
            continue;
        }
        if (c != '\\') {
            value.byte(c);
            ++plainTail;
            continue;
        }
        if (i >= to)
            break;
        const char e = data.at(i++);
        static const char simple[] = "a\ab\bf\fn\nr\rt\tv\v\"\"?" "?''\\\\";
        const char *found = nullptr;
        for (const char *s = simple; *s; s += 2) {
            if (*s == e)
                found = s;
        }
        if (found) {
            value.unit(uchar(found[1]));
        } else if ((e == 'x' && i < to && hexDigit(data.at(i)) >= 0) || (e >= '0' && e <= '7')) {
            const int base = e == 'x' ? 16 : 8;
            uint code = e == 'x' ? 0 : uint(e - '0');
            int digit;
            while (i < to && (digit = hexDigit(data.at(i))) >= 0 && digit < base) {
                code = code * uint(base) + uint(digit);
                ++i;
            }
            value.unit(code);
        } else if ((e == '\n' || e == '\r') && i < to
                   && (data.at(i) == '\n' || data.at(i) == '\r') && data.at(i) != e) {
            ++i;
        }
        plainTail = 0;
    }
    std::string &text = value.text();
    if (!quoted) {
        while (plainTail-- > 0 && isBlank(text.back()))
            text.pop_back();
    }
    if (text.compare(0, 2, "@@") == 0)
        text.erase(0, 1);
    return text;
}

// Qt's escaping: C escapes, "\xHHHH" for control and non-ASCII characters (and for a hex
// digit right after one), and quotes around a value holding ";", "," or "=" or starting or
// ending with a blank. A leading "@" is doubled.
std::string encodeValue(const std::string &value)
{
    QString text = QString::fromStdString(value);
    if (text.startsWith(QLatin1Char('@')))
        text.prepend(QLatin1Char('@'));
    std::string out;
    bool quote = false;
    bool afterHex = false;
    for (const QChar qc : text) {
        const ushort ch = qc.unicode();
        quote = quote || ch == ';' || ch == ',' || ch == '=';
        if (afterHex && ch < 0x80 && hexDigit(char(ch)) >= 0) {
            out += QString::asprintf("\\x%x", ch).toStdString();
            continue;
        }
        afterHex = false;
        const char *escape = nullptr;
        switch (ch) {
        case '\0': escape = "\\0"; afterHex = true; break;
        case '\a': escape = "\\a"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        case '\v': escape = "\\v"; break;
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        default: break;
        }
        if (escape) {
            out += escape;
        } else if (ch <= 0x1F || ch >= 0x7F) {
            out += QString::asprintf("\\x%x", ch).toStdString();
            afterHex = true;
        } else {
            out += char(ch);
        }
    }
    if (quote || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

struct KeyLine
{
    std::string name;   // section/key
    int valueStart;
    int end;
};

struct Section
{
    std::string name;
    int insertAt;       // after its last key line
};

// The lines of a file as Qt's store splits them. wellFormed is false when a line is
// neither a section, a key with "=", nor a comment: the file is damaged.
struct IniText
{
    explicit IniText(const QByteArray &bytes);
    const KeyLine *find(const std::string &name) const;

    QByteArray data;
    std::vector<KeyLine> keys;
    std::vector<Section> sections;
    bool wellFormed = true;
};

// After the line break that follows pos.
int nextLineStart(const QByteArray &data, int pos)
{
    while (pos < data.size() && data.at(pos) != '\n' && data.at(pos) != '\r')
        ++pos;
    if (pos < data.size() && data.at(pos) == '\r')
        ++pos;
    if (pos < data.size() && data.at(pos) == '\n')
        ++pos;
    return pos;
}

// One logical line: it ends at a line break outside quotes and not escaped by "\", or
// before a ";" outside quotes; a line starting with ";" is a comment and is skipped.
bool nextLine(const QByteArray &data, int &pos, int &start, int &end, int &equals)
{
    const int size = data.size();
    bool inQuotes = false;
    equals = -1;
    start = pos;
    while (start < size && isSpace(data.at(start)))
        ++start;
    int i = start;
    while (i < size) {
        const char c = data.at(i++);
        if (c == '=') {
            if (!inQuotes && equals < 0)
                equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char next = data.at(i++);
                if (i < size && ((next == '\n' && data.at(i) == '\r')
                                 || (next == '\r' && data.at(i) == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == start + 1) {
                i = nextLineStart(data, i);
                while (i < size && isSpace(data.at(i)))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    end = i;
    return end > start;
}

IniText::IniText(const QByteArray &bytes)
    : data(bytes)
{
    int pos = data.startsWith(ByteOrderMark) ? 3 : 0;
    int start, end, equals;
    std::string section;
    while (nextLine(data, pos, start, end, equals)) {
        if (data.at(start) == '[') {
            // Only within the line: a damaged file of many "[" lines is read in linear time.
            const void *bracket = std::memchr(data.constData() + start, ']', size_t(end - start));
            const int close = bracket ? int(static_cast<const char *>(bracket) - data.constData())
                                      : end;
            wellFormed = wellFormed && bracket;
            const QByteArray header = data.mid(start + 1, close - start - 1).trimmed();
            // "[General]" holds the keys outside any section; a section named General is
            // written "[%General]".
            if (header.toLower() == "general")
                section.clear();
            else if (header.toLower() == "%general")
                section = header.mid(1).toStdString();
            else
                section = decodeName(header, 0, header.size());
            sections.push_back({section, nextLineStart(data, end)});
            continue;
        }
        if (equals < 0) {
            wellFormed = wellFormed && data.at(start) == '#';
            continue;
        }
        int keyEnd = equals;
        while (keyEnd > start && isBlank(data.at(keyEnd - 1)))
            --keyEnd;
        keys.push_back({fullName(section, decodeName(data, start, keyEnd)), equals + 1, end});
        if (!sections.empty())
            sections.back().insertAt = nextLineStart(data, end);
    }
}

// Qt's store takes the last of keys named alike.
const KeyLine *IniText::find(const std::string &name) const
{
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        if (it->name == name)
            return &*it;
    }
    return nullptr;
}

// False when the file exists but cannot be read.
bool load(const QString &realPath, QByteArray *data)
{
    QFile file(realPath);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << Q_FUNC_INFO << realPath << file.errorString();
        return false;
    }
    *data = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

int ReadPrivateProfileString(const std::string &section, const std::string &key,
                             const std::string &defaultValue, std::string &value,
                             const std::string &path)
{
    QMutexLocker lock(&s_mutex);
    QByteArray data;
    load(SystemPaths::map(QString::fromStdString(path)), &data);
    const IniText ini(data);
    const KeyLine *line = ini.find(fullName(section, key));
    const std::string found = line ? decodeValue(ini.data, line->valueStart, line->end)
                                   : std::string();
    if (found.empty()) {
        value = defaultValue;
        return 0;
    }
    value = found;
    return 1;
}

bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &path)
{
    QMutexLocker lock(&s_mutex);
    const QString realPath = SystemPaths::map(QString::fromStdString(path));
    QByteArray data;
    if (!load(realPath, &data))
        return false;
    const IniText ini(data);
    if (!ini.wellFormed) {
        qDebug() << Q_FUNC_INFO << realPath << "cannot be parsed; left as it is";
        return false;
    }

    const std::string name = fullName(section, key);
    const std::string encoded = encodeValue(value);
    const int lineFeed = data.indexOf('\n');
    const QByteArray eol = lineFeed > 0 && data.at(lineFeed - 1) == '\r' ? "\r\n" : "\n";
    const QByteArray newLine = QByteArray::fromStdString(encodeName(key) + '=' + encoded) + eol;
    auto unterminated = [&data](int at) {
        return at == data.size() && at > 0 && data.at(at - 1) != '\n' && data.at(at - 1) != '\r';
    };

    QByteArray text = data;
    const Section *into = nullptr;
    for (const Section &s : ini.sections) {
        if (s.name == section)
            into = &s;
    }
    if (const KeyLine *line = ini.find(name)) {
        // Only the value changes; the key as spelt in the file and any comment stay.
        int at = line->valueStart;
        while (at < line->end && isBlank(data.at(at)))
            ++at;
        text.replace(at, line->end - at, QByteArray::fromStdString(encoded));
    } else if (into) {
        text.insert(into->insertAt, (unterminated(into->insertAt) ? eol : QByteArray()) + newLine);
    } else {
        if (unterminated(data.size()))
            text += eol;
        if (!data.trimmed().isEmpty() && data.trimmed() != ByteOrderMark)
            text += eol;
        std::string header = encodeName(section);
        if (section.empty())
            header = "General";
        else if (QByteArray::fromStdString(section).toLower() == "general")
            header = '%' + section;
        text += '[' + QByteArray::fromStdString(header) + ']' + eol + newLine;
    }

    // What Qt's store would keep of the value must read back, whatever the file held.
    const IniText written(text);
    const KeyLine *check = written.find(name);
    if (!check
        || decodeValue(text, check->valueStart, check->end)
               != QString::fromStdString(value).toStdString()) {
        qDebug() << Q_FUNC_INFO << realPath << "the key would not read back; left as it is";
        return false;
    }

    QDir().mkpath(QFileInfo(realPath).absolutePath());
    QSaveFile file(realPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << Q_FUNC_INFO << realPath << file.errorString();
        return false;
    }
    // commit() does not notice data that never left Qt's buffer (a full disk): flush first.
    if (file.write(text) != text.size() || !file.flush() || !file.commit()) {
        qDebug() << Q_FUNC_INFO << realPath << file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}
