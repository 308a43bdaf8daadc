#include "ExternalProgram.h"

#include <QDebug>
#include <QProcess>

QString ProgramResult::describe() const
{
    if (!started)
        return QStringLiteral("could not be started");
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
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs < 0 ? 30000 : timeoutMs)) {
        qDebug() << Q_FUNC_INFO << program << arguments << process.errorString();
        return result;
    }
    result.started = true;
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
    result.finished = true;
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errorOutput = process.readAllStandardError();
    return result;
}

bool ExternalProgram::startDetached(const QString &program, const QStringList &arguments)
{
    const bool started = QProcess::startDetached(program, arguments);
    if (!started)
        qDebug() << Q_FUNC_INFO << program << arguments << "could not be started";
    return started;
}
