#pragma once

#include <QMap>
#include <QSharedPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

class QFile;
class QTcpSocket;

// The record of one logged-in connection of the file server.
struct ValidClient
{
    QString userName;
    QString homeFolder;
    QString currentFolder;
    bool downloading = false;
    QStringList fileQueue;          // instrument paths still to send, first to send first

    // The file on its way out, sent in blocks as the socket drains.
    QSharedPointer<QFile> file;
    qint64 fileSize = 0;            // as announced in its START line
    qint64 fileSent = 0;
    QString filePath;
};

// The line-based file server: a client logs in, moves through the instrument's data
// folder, lists it and downloads files and folder trees. Runs on the GUI thread; the main
// window holds one and never sets it listening.
class ORBELIN_Server : public QTcpServer
{
    Q_OBJECT

public:
    explicit ORBELIN_Server(QObject *parent = nullptr);
    ~ORBELIN_Server() override;

    // A longer line closes its connection.
    static constexpr int MaxLineLength = 64 * 1024;
    // A file is read and queued on its socket a block at a time.
    static constexpr qint64 BlockSize = 1024 * 1024;

public Q_SLOTS:
    void slotRemoveAllConnectedClients();

private Q_SLOTS:
    void slotNewConnection();
    void slotReadyRead();
    void slotDisconnected();
    void slotBytesWritten();
    void slotTransferTimer();

private:
    void readLines(QTcpSocket *socket);
    void handleLine(QTcpSocket *socket, const QString &line);
    void login(QTcpSocket *socket, const QString &line);
    void changeFolder(QTcpSocket *socket, ValidClient &client, const QString &line);
    QString listing(const ValidClient &client) const;
    void downloadRequest(QTcpSocket *socket, ValidClient &client, const QString &line);
    bool openNextFile(ValidClient &client) const;
    void sendBlocks(QTcpSocket *socket);
    void recursiveEntries(const QString &folder, QStringList &files,
                          QStringList &ancestors) const;

    static void reply(QTcpSocket *socket, const QString &text);

    QMap<QTcpSocket *, ValidClient> m_Clients;
    QTimer m_Timer;
};
