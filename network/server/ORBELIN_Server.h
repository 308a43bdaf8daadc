#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QPair>
#include <QSet>
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
    // A client's lines wait while more than this waits to be sent to it.
    static constexpr qint64 OutputBound = 1024 * 1024;
    // The longest current folder; a "$CD" beyond it is refused.
    static constexpr int MaxFolderLength = 4096;
    // A file is read and queued on its socket a block at a time.
    static constexpr qint64 BlockSize = 1024 * 1024;
    // Connections held at once; the next is closed after its greeting.
    static constexpr int MaxConnections = 32;

    // A connection that has not logged in by then is closed.
    static constexpr int DefaultLoginTimeoutMs = 30000;
    static void setLoginTimeout(int ms);        // tests shorten it
    // Files and folders one download request may walk through, and for how long; a
    // request beyond either is refused.
    static constexpr int DefaultMaxDownloadEntries = 100000;
    static constexpr int DefaultMaxDownloadWalkMs = 500;
    static void setDownloadBounds(int maxEntries, int maxWalkMs);   // tests lower them

public Q_SLOTS:
    void slotRemoveAllConnectedClients();

private Q_SLOTS:
    void slotNewConnection();
    void slotReadyRead();
    void slotDisconnected();
    void slotBytesWritten();
    void slotTransferTimer();
    void slotServeNext();

private:
    void wake(QTcpSocket *socket);
    void queueTurn();
    bool mayServe(QTcpSocket *socket) const;
    void handleLine(QTcpSocket *socket, const QString &line);
    void login(QTcpSocket *socket, const QString &line);
    void changeFolder(QTcpSocket *socket, ValidClient &client, const QString &line);
    QString listing(const ValidClient &client) const;
    void downloadRequest(QTcpSocket *socket, ValidClient &client, const QString &line);
    bool openNextFile(ValidClient &client) const;
    void sendBlocks(QTcpSocket *socket);
    // The folder walk of one download request.
    struct Walk
    {
        QStringList files;
        // Folders as the file system knows them (device, inode), whatever path led there.
        QSet<QPair<quint64, quint64>> expanded;
        QElapsedTimer clock;
        bool withinBounds() const;
    };
    bool recursiveEntries(const QString &folder, const QString &realFolder, Walk &walk) const;

    static void reply(QTcpSocket *socket, const QString &text);

    QMap<QTcpSocket *, ValidClient> m_Clients;
    QSet<QTcpSocket *> m_Connections;
    // Connections with lines to serve, in turn, one line per turn of the event loop.
    QList<QTcpSocket *> m_Waiting;
    bool m_ServeQueued = false;
    QTimer m_Timer;
};
