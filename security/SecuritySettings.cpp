#include "SecuritySettings.h"

#include "PrivateProfile.h"
#include "SystemPaths.h"

namespace {

std::string readWithDefault(const char *key, const char *defaultValue)
{
    std::string value;
    if (!ReadPrivateProfileString("Security", key, defaultValue, value, SystemPaths::settings()))
        WritePrivateProfileString("Security", key, value, SystemPaths::settings());
    return value;
}

} // namespace

bool SecuritySettings::enabled()
{
    return readWithDefault("Enable", "False") == "True";
}

void SecuritySettings::setEnabled(bool on)
{
    WritePrivateProfileString("Security", "Enable", on ? "True" : "False", SystemPaths::settings());
}

QString SecuritySettings::password()
{
    return QString::fromUtf8(readWithDefault("Password", "mavek").c_str());
}

void SecuritySettings::setPassword(const QString &password)
{
    WritePrivateProfileString("Security", "Password", password.toUtf8().toStdString(),
                              SystemPaths::settings());
}
