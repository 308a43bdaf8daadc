#pragma once

#include <QString>

// The "Security" keys of the settings file: "Enable" ("True" or "False", default "False")
// and "Password" (plain text, default "mavek"). A reader that finds a key missing or
// empty writes its default back.
class SecuritySettings
{
public:
    static bool enabled();
    static void setEnabled(bool on);
    static QString password();
    static void setPassword(const QString &password);
};
