#pragma once

#include <QObject>
#include <QStringList>

#include <vector>

// The program's only channel to wpa_supplicant: each call runs "wpa_cli" once (without an
// interface option, so it talks to the supplicant's default interface) and reads its reply.
// Holds no state; every call blocks for at most one bounded program run.
class AP : public QObject
{
    Q_OBJECT

public:
    // The supplicant's log, written with its -f option and read by the key check.
    static QString logFile() { return QStringLiteral("/tmp/wpa_supplicant.log"); }

    explicit AP(QObject *parent = nullptr);

    // The id of the configured network named ssid (the row whose BSSID matches wins,
    // otherwise the last row with that name), or -1.
    int getIdBySSID(const QString &ssid, const QString &bssid) const;
    std::vector<int> list() const;
    // A new network's id, or -1.
    int add_new() const;
    // Sets the name and, for a 17-character bssid, the access point to use.
    bool setSSID(int id, const QString &ssid, const QString &bssid) const;
    bool select(int id) const;
    bool enable(int id) const;
    bool setInsecure(int id) const;
    // Empties the supplicant's log first, so the key check sees only this attempt.
    bool setPassword(int id, const QString &key) const;
    void remove(int id) const;
    void removeAll() const;
    bool isConnected() const;
    // 2: the link came up; 1: the access point rejected the key; 0: neither (yet).
    int validatePassword() const;
    void clear_log_file() const;

private:
    enum Decoding { Utf8, Latin1 };
    static QStringList command(const QStringList &arguments, Decoding decoding = Utf8);
    static bool okReply(const QStringList &lines, bool firstLineCounts = false);
};
