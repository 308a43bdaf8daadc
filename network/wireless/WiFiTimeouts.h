#pragma once

// How long the Wi-Fi workers wait for programs, for the user and for the network.
// The defaults are the instrument's; tests shorten them before they start a worker.
struct WiFiTimeouts
{
    int commandMs = 30000;              // one ifconfig, wpa_cli, iwlist, route or cat call
    int devicePollMs = 2000;            // period of the device monitor
    int failedScanPauseMs = 1000;       // before the next scan when iwlist gave nothing
    int keyWaitMs = 300000;             // the user typing a key
    int keyCheckIntervalMs = 3000;      // between looks at the supplicant's log
    int keyChecks = 7;
    int associationIntervalMs = 2000;   // between status checks
    int associationChecks = 7;
    int dhcpMs = 120000;
    int pingMs = 60000;

    static WiFiTimeouts current();
    static void set(const WiFiTimeouts &timeouts);
};
