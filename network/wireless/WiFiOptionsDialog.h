#pragma once

#include "AccessPoint.h"
#include "MessageDlg.h"

#include <QDialog>
#include <QMap>
#include <QTimer>

class NetworkManager;
class Ui_WiFiOptionsDialog;

// The settings screen's Wi-Fi page: one switch that turns Wi-Fi on (opening the list of
// networks to join) or off, the on/off picture and the instrument's address while it is
// connected. It keeps no Wi-Fi state of its own: it redraws from the Wi-Fi manager's.
class WiFiOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit WiFiOptionsDialog(QWidget *parent = nullptr);
    ~WiFiOptionsDialog() override;

    void setUIWiFiState();

Q_SIGNALS:
    void signalUpdateAccessPoint(QMap<QString, AccessPoint> &accessPoints);
    void signalNetworkDeviceRemoved();
    void signalAccessPointConnectingCancel();

public Q_SLOTS:
    void slotAccessPointUpdateTimer();
    void slotNetworkDeviceChanged();
    void slotConnectToAccessPointCompleted(const QString &ssid);
    void slotConnectToAccessPointFailed();
    void slotShowConnectingMessage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_WIFI_ENABLE_clicked();
    void on_BUTTON_WIFI_ENABLE_toggled(bool checked);
    void on_BUTTON_CLOSE_clicked();

private:
    void showConnectedLabels(bool connected);
    void returnToManagerState();

    NetworkManager *m_Manager;
    QTimer m_UpdateTimer;
    MessageDlg m_Connecting;
    Ui_WiFiOptionsDialog *ui;
};
