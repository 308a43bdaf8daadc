#pragma once

#include <QMetaType>
#include <QString>

// One network cell of a scan, as the scanner reports it.
struct AccessPoint
{
    QString bssid;          // the cell's address as printed, such as 00:11:22:AA:BB:CC
    QString essid;          // the network name; empty for a hidden network
    QString channel;
    QString quality;        // as printed, such as 70/70
    int level = 0;          // signal level 0..100
    bool encrypted = false;
    float frequency = 0.0f; // the number printed before MHz or GHz (usually GHz: 2.437, 5.18)
};

Q_DECLARE_METATYPE(AccessPoint)
