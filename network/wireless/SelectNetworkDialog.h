#pragma once

#include "AccessPoint.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QMap>
#include <QStandardItemModel>

class Ui_SelectNetworkDialog;

// One scanned network as the selection dialog keeps it.
struct ssid_info_t
{
    QString name;
    int level = 0;
    bool encrypted = false;
};

// The modal list of Wi-Fi networks from which the user picks the one to join. It keeps
// every network it has been shown, one row per BSSID, and never changes a row while open.
class SelectNetworkDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SelectNetworkDialog(QWidget *parent = nullptr);
    ~SelectNetworkDialog() override;

    // The chosen network's BSSID, set when OK is pressed.
    QString bssid() const { return m_Bssid; }
    // The record of a listed network, or null.
    const ssid_info_t *info(const QString &bssid) const;

    void add_ap_item(const AccessPoint &ap);
    void add_network_list_item(const QString &bssid, const QString &name, int level,
                               bool encrypted, float frequency);
    // The text a network is listed under: its name, with " (5G)" for a 5 GHz network
    // whose name does not say so.
    static QString labelOf(const QString &name, float frequency);
    // 0..5 for the signal images network_0 .. network_100; -1 for no_network (level 0).
    static int signalImageOf(int level);

public Q_SLOTS:
    void slotUpdateAccessPoint(QMap<QString, AccessPoint> &accessPoints);

private Q_SLOTS:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    QStandardItemModel m_Model;
    QString m_Bssid;
    QMap<QString, ssid_info_t *> m_Networks;
    QList<QIcon> m_SignalImages;
    QIcon m_NoNetwork;
    QIcon m_Lock;
    QIcon m_Empty;
    Ui_SelectNetworkDialog *ui;
};
