#pragma once

#include <QString>

// The IPv4 address of a network device, as "ifconfig <device>" shows it.
class DeviceAddress
{
public:
    // Empty when the device has no IPv4 address or ifconfig does not answer.
    static QString ipv4(const QString &device);
    // The first "inet 1.2.3.4" (or older "inet addr:1.2.3.4") of ifconfig's output.
    static QString parse(const QString &ifconfigOutput);
};
