#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private file system for one test: ORBELIN_ROOT points at a temporary folder and its
// bin/ folder comes first on PATH, so fake programs answer instead of the real ones.
// The environment is restored when the root goes.
class TestRoot
{
public:
    TestRoot();
    ~TestRoot();

    bool isValid() const { return m_Dir.isValid(); }
    QString root() const { return m_Dir.path(); }
    QString bin() const;

    // The real path of an instrument path: path("/root/x") is "<root>/root/x".
    QString path(const QString &instrumentPath) const;

    // Writes a file (creating its folders); true on success.
    bool writeFile(const QString &instrumentPath, const QByteArray &content) const;
    QByteArray readFile(const QString &instrumentPath) const;
    bool mkdir(const QString &instrumentPath) const;
    // Renames an entry to a name of raw bytes (one that need not be UTF-8) in its folder;
    // the instrument path of the new name as the program keeps it, or empty on failure.
    QString renameRaw(const QString &instrumentPath, const QByteArray &name) const;

    // A fake program that records its arguments, prints output and exits with exitCode.
    void fakeProgram(const QString &name, const QByteArray &output = QByteArray(),
                     int exitCode = 0) const;
    // A fake program whose bash body runs after its arguments were recorded.
    void fakeProgramScript(const QString &name, const QByteArray &bashBody) const;
    // Copies a stand-in program of the project (standins/bin/<name>) into bin/.
    void installStandin(const QString &name) const;

    // The argument lists of every recorded call of a program, oldest first.
    QList<QStringList> calls(const QString &program) const;
    void clearCalls(const QString &program) const;

private:
    QTemporaryDir m_Dir;
    QByteArray m_OldRoot;
    QByteArray m_OldPath;
    bool m_HadRoot;
};
