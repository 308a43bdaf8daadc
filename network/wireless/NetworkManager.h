#pragma once

#include <QObject>
#include <QString>

// The Wi-Fi state the title bar and the dialogs read.
struct wireless_network_property
{
    QString device;
    QString ssid;
    bool exist = false;
    bool connected = false;
    QString address;
};

// The process-wide Wi-Fi manager.
class NetworkManager : public QObject
{
    Q_OBJECT

public:
    static NetworkManager *instance();
    static void release();

    wireless_network_property property() const;

Q_SIGNALS:
    void signalNetworkDeviceChanged();
    void signalConnectedAP(const QString &ssid);
    void signalNoConnectedAP();

private:
    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    static NetworkManager *object;
    wireless_network_property m_Property;
};
