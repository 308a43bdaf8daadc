#include "ExternalProgram.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const int ErrorTailBytes = 4096;

void keepTail(QByteArray &tail, const QByteArray &more)
{
    tail += more;
    if (tail.size() > ErrorTailBytes)
        tail.remove(0, tail.size() - ErrorTailBytes);
}

bool start(QProcess &process, const QString &program, const QStringList &arguments,
           int timeoutMs, ProgramResult *result)
{
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs < 0 ? 30000 : timeoutMs)) {
        qDebug() << Q_FUNC_INFO << program << arguments << process.errorString();
        return false;
    }
    result->started = true;
    return true;
}

void ended(const QProcess &process, ProgramResult *result)
{
    result->finished = true;
    result->crashed = process.exitStatus() != QProcess::NormalExit;
    result->exitCode = process.exitCode();
}

} // namespace

QString ProgramResult::describe() const
{
    if (!started)
        return QStringLiteral("could not be started");
    if (stopped)
        return QStringLiteral("was stopped");
    if (!finished)
        return QStringLiteral("did not finish in time");
    if (crashed)
        return QStringLiteral("crashed");
    if (exitCode != 0) {
        const QString err = QString::fromLocal8Bit(errorOutput).trimmed();
        return err.isEmpty() ? QStringLiteral("exited with status %1").arg(exitCode)
                             : QStringLiteral("exited with status %1: %2").arg(exitCode).arg(err);
    }
    return QStringLiteral("succeeded");
}

ProgramResult ExternalProgram::run(const QString &program, const QStringList &arguments,
                                   int timeoutMs, const QByteArray &stdinData)
{
    ProgramResult result;
    QProcess process;
    if (!start(process, program, arguments, timeoutMs, &result))
        return result;
    if (!stdinData.isEmpty())
        process.write(stdinData);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        qDebug() << Q_FUNC_INFO << program << arguments << "timed out";
        process.kill();
        process.waitForFinished(1000);
        result.output = process.readAllStandardOutput();
        result.errorOutput = process.readAllStandardError();
        return result;
    }
    ended(process, &result);
    result.output = process.readAllStandardOutput();
    result.errorOutput = process.readAllStandardError();
    return result;
}

ProgramResult ExternalProgram::runByLine(const QString &program, const QStringList &arguments,
                                         int timeoutMs, int maxLineBytes,
                                         const std::function<bool(const QByteArray &)> &onLine,
                                         const Input &input)
{
    ProgramResult result;
    QProcess process;
    if (!start(process, program, arguments, timeoutMs, &result))
        return result;
    bool feeding = bool(input);
    if (!feeding)
        process.closeWriteChannel();
    const QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : qint64(timeoutMs));
    const auto stop = [&] {
        process.kill();
        process.waitForFinished(1000);
        keepTail(result.errorOutput, process.readAllStandardError());
        return result;
    };
    // One buffer for all lines: a listing of many short lines costs no allocation each.
    QByteArray line;
    line.reserve(maxLineBytes + 2);
    for (;;) {
        // Once the program has ended, what is left without a line feed is the last line.
        const bool over = process.state() == QProcess::NotRunning;
        while (process.canReadLine() || (over && process.bytesAvailable() > 0)) {
            line.resize(maxLineBytes + 2);
            const qint64 length = process.readLine(line.data(), line.size());
            line.resize(int(qMax<qint64>(length, 0)));
            const bool whole = line.endsWith('\n');
            if (whole)
                line.chop(1);
            if (line.size() > maxLineBytes || (!whole && !over)) {
                qDebug() << Q_FUNC_INFO << program << arguments << "wrote a line too long";
                result.stopped = true;
                return stop();
            }
            if (!onLine(line)) {
                result.stopped = true;
                return stop();
            }
        }
        keepTail(result.errorOutput, process.readAllStandardError());
        if (over)
            break;
        if (process.bytesAvailable() > maxLineBytes) {
            qDebug() << Q_FUNC_INFO << program << arguments << "wrote a line too long";
            result.stopped = true;
            return stop();
        }
        // One piece at a time, once the last is taken: the input is never held whole.
        if (feeding && process.bytesToWrite() == 0) {
            QByteArray piece;
            if (!input(&piece)) {
                qDebug() << Q_FUNC_INFO << program << arguments << "input failed";
                result.stopped = true;
                return stop();
            }
            if (piece.isEmpty()) {
                process.closeWriteChannel();
                feeding = false;
            } else {
                process.write(piece);
            }
        }
        if (deadline.hasExpired()) {
            qDebug() << Q_FUNC_INFO << program << arguments << "timed out";
            return stop();
        }
        const int waitMs = int(qMin<qint64>(deadline.remainingTime(), 1000));
        // While a piece waits, wake when the program takes some: one that only reads (tar
        // unpacking) writes nothing that would end a wait for output.
        if (process.bytesToWrite() > 0)
            process.waitForBytesWritten(waitMs);
        else
            process.waitForReadyRead(waitMs);
    }
    ended(process, &result);
    return result;
}

bool ExternalProgram::startDetached(const QString &program, const QStringList &arguments)
{
    // Everything the child needs is made here, before it exists: a child of a threaded
    // program that allocates before exec can wait for ever on a lock another thread held
    // at the fork, and with it this call.
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        qDebug() << Q_FUNC_INFO << program << "is not on the PATH";
        return false;
    }
    QList<QByteArray> encoded{QFile::encodeName(path)};
    for (const QString &argument : arguments)
        encoded << QFile::encodeName(argument);
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Its own session, no blocked signals, and SIGPIPE back to its default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv.front(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        qDebug() << Q_FUNC_INFO << program << arguments << "could not be started:"
                 << std::strerror(error);
        return false;
    }
    // Reaped whenever it ends, so that it leaves no zombie behind.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}
