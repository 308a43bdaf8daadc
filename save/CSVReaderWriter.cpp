#include "CSVReaderWriter.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QSaveFile>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <limits>

CSVReaderWriter::CSVReaderWriter(unsigned long maxLines, const char *format, ...)
    : m_MaxLines(maxLines)
{
    char header[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(header, sizeof header, format, args);
    va_end(args);
    m_Lines.emplace_back(header);
}

bool CSVReaderWriter::read(const char *path)
{
    std::ifstream file(SystemPaths::map(std::string(path)), std::ios::binary);
    if (!file.is_open())
        return false;
    // Only the newest rows the table can hold are kept while reading, so a damaged or
    // foreign file of millions of lines costs no more memory than a full log.
    const size_t limit = rowLimit();
    std::vector<std::string> newest;   // a ring once full: the next slot holds the oldest
    size_t count = 0;
    std::vector<char> buffer(MaxRowBytes + 1);
    std::string line;
    readLine(file, buffer, line);       // the file's own header
    for (size_t number = 1;; ++number) {
        const LineRead got = readLine(file, buffer, line);
        if (got == LineRead::End)
            break;
        if (got == LineRead::TooLong) {
            qDebug() << Q_FUNC_INFO << path << "row" << number << "is longer than"
                     << MaxRowBytes << "bytes: dropped";
            continue;
        }
        if (newest.size() < limit)
            newest.push_back(std::move(line));
        else
            newest[count % limit].swap(line);
        ++count;
    }
    const size_t oldest = newest.size() < limit ? 0 : count % limit;
    for (size_t i = 0; i < newest.size(); ++i)
        m_Lines.push_back(std::move(newest[(oldest + i) % newest.size()]));
    dropOldest();
    return true;
}

CSVReaderWriter::LineRead CSVReaderWriter::readLine(std::istream &in, std::vector<char> &buffer,
                                                    std::string &line)
{
    // getline stores at most size - 1 bytes and fails when the line goes on beyond them.
    in.getline(buffer.data(), std::streamsize(buffer.size()));
    const std::streamsize got = in.gcount();
    if (in.fail()) {
        if (got == 0)
            return LineRead::End;
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        return LineRead::TooLong;
    }
    // Without eof the line feed was taken and counted.
    line.assign(buffer.data(), size_t(in.eof() ? got : got - 1));
    return LineRead::Line;
}

std::vector<std::string> CSVReaderWriter::csv() const
{
    return m_Lines;
}

void CSVReaderWriter::parse(std::string line, std::vector<std::string> &fields)
{
    fields.clear();
    if (line.empty())
        return;
    std::string::size_type start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        if (comma == std::string::npos) {
            fields.push_back(line.substr(start));
            return;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

bool CSVReaderWriter::reverseWrite(const char *path) const
{
    return writeLines(path, true);
}

bool CSVReaderWriter::write(const char *path) const
{
    return writeLines(path, false);
}

bool CSVReaderWriter::writeLines(const char *path, bool reversed) const
{
    // Every line ends with a line feed but the last row; a header alone keeps its own.
    std::string text = m_Lines.front() + '\n';
    const size_t rows = m_Lines.size() - 1;
    for (size_t i = 0; i < rows; ++i) {
        text += m_Lines[reversed ? rows - i : i + 1];
        if (i + 1 < rows)
            text += '\n';
    }

    // Written beside the old file and renamed over it, so a power cut keeps one whole log.
    QSaveFile file(SystemPaths::map(QString::fromUtf8(path)));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(text.data(), qint64(text.size())) != qint64(text.size())
        || !file.flush() || !file.commit()) {
        qDebug() << Q_FUNC_INFO << path << file.errorString();
        return false;
    }
    return true;
}

void CSVReaderWriter::append(const std::string &line)
{
    m_Lines.push_back(line);
    dropOldest();
}

size_t CSVReaderWriter::rowLimit() const
{
    return m_MaxLines < 2 ? 1 : size_t(m_MaxLines) - 1;
}

void CSVReaderWriter::dropOldest()
{
    const size_t rows = m_Lines.size() - 1;
    if (rows > rowLimit())
        m_Lines.erase(m_Lines.begin() + 1, m_Lines.begin() + 1 + long(rows - rowLimit()));
}

bool CSVReaderWriter::replace(size_t index, const std::string &line)
{
    if (index == 0 || index >= m_Lines.size())
        return false;
    m_Lines[index] = line;
    return true;
}

void CSVReaderWriter::clear()
{
    m_Lines.resize(1);
}

std::string CSVReaderWriter::resultsLogHeader()
{
    std::string header = "Name,Date,Cells,[Cells],Avg. size,Protocol,";
    for (int field = 1; field <= 20; ++field) {
        if (field > 1)
            header += ',';
        header += "#" + std::to_string(field) + " cells,#" + std::to_string(field) + " [cells]";
    }
    return header;
}
