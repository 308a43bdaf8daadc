#pragma once

#include <istream>
#include <string>
#include <vector>

// A bounded in-memory table of comma-separated text lines; line 0 is the header. Used for
// the results log "/root/ORBELIN_Vn/CountingResults.csv" (one header, at most 1000 rows,
// newest last, no line feed after the last line). Paths are instrument paths.
class CSVReaderWriter
{
public:
    // The header is formatted printf-style (at most 1023 characters) and kept as line 0.
    // maxLines counts the header: the results log uses 1001.
    CSVReaderWriter(unsigned long maxLines, const char *format, ...)
        __attribute__((format(printf, 3, 4)));

    // Longer than any row the instrument writes: a longer line is damage, not a count.
    static constexpr size_t MaxRowBytes = 64 * 1024;

    // Appends every line of the file after its first (without the line feed); as with
    // append, only the newest rows within maxLines stay. A row longer than MaxRowBytes is
    // dropped unread (and so goes when the table is written back). False when the file
    // cannot be opened.
    bool read(const char *path);

    // All lines, header first.
    std::vector<std::string> csv() const;

    // Splits at every comma, without quoting; an empty line gives no field.
    static void parse(std::string line, std::vector<std::string> &fields);

    // Replaces the file by the header and the rows from the last to the first; every line
    // ends with a line feed except the last one written (a header alone keeps its own).
    bool reverseWrite(const char *path) const;

    // Replaces the file by the header and the rows in table order, with no line feed
    // after the last row (a header alone keeps its own).
    bool write(const char *path) const;

    // Appends a row; the oldest rows go when the table would hold more than maxLines.
    void append(const std::string &line);
    // Replaces line index (1 is the oldest row); false when there is no such row.
    bool replace(size_t index, const std::string &line);
    // Drops every row and keeps the header.
    void clear();
    // Lines held, header included.
    size_t size() const { return m_Lines.size(); }
    unsigned long maxLines() const { return m_MaxLines; }

    // The header of the results log: the six count columns and two per counting field.
    static std::string resultsLogHeader();

private:
    enum class LineRead { Line, TooLong, End };
    // The next line without its line feed, read through buffer (MaxRowBytes + 1 bytes); a
    // longer line is passed over without being held.
    static LineRead readLine(std::istream &in, std::vector<char> &buffer, std::string &line);
    bool writeLines(const char *path, bool reversed) const;
    // Rows the table holds at the most (at least one).
    size_t rowLimit() const;
    void dropOldest();

    unsigned long m_MaxLines;
    std::vector<std::string> m_Lines;
};
