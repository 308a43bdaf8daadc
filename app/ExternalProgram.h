#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// What one run of an external program gave.
struct ProgramResult
{
    bool started = false;
    bool finished = false;      // false: timed out and killed, or stopped
    bool stopped = false;       // stopped early, killed (runByLine)
    bool crashed = false;
    int exitCode = -1;
    QByteArray output;          // standard output
    QByteArray errorOutput;     // standard error

    // Started, finished normally in time and exited 0.
    bool ok() const { return started && finished && !crashed && exitCode == 0; }
    QString describe() const;
};

// Runs external programs by bare name through PATH, with argument lists and never a
// shell line, and with every wait bounded.
class ExternalProgram
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    // Gives a program's standard input a piece at a time: fills piece with the next one,
    // empty at the end; false when the input cannot be given, which stops the program.
    using Input = std::function<bool(QByteArray *piece)>;

    // Runs and waits up to timeoutMs (negative: no bound); on timeout the program is
    // killed and reaped. stdinData, when given, is written to its standard input.
    static ProgramResult run(const QString &program, const QStringList &arguments,
                             int timeoutMs = DefaultTimeoutMs,
                             const QByteArray &stdinData = QByteArray());

    // Runs as run() does, but hands each line of the standard output to onLine as it comes
    // (without its line feed) and keeps none of it. The program is stopped (killed and
    // reaped) when onLine answers false or a line grows beyond maxLineBytes; the standard
    // error keeps its last 4 KiB. With input, the standard input is fed from it one piece
    // at a time as the program takes it (stopped when input answers false); without, the
    // standard input is closed.
    static ProgramResult runByLine(const QString &program, const QStringList &arguments,
                                   int timeoutMs, int maxLineBytes,
                                   const std::function<bool(const QByteArray &line)> &onLine,
                                   const Input &input = Input());

    // Starts the program in a session of its own without waiting for it, and reaps it when
    // it ends; true when it started.
    static bool startDetached(const QString &program, const QStringList &arguments);
};
