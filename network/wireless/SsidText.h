#pragma once

#include <QString>

// Network names as the Wi-Fi programs print them, back to the names themselves.
class SsidText
{
public:
    // iwlist: bytes outside printable ASCII come as "\xHH" escapes of the name's bytes
    // ("Caf\xC3\xA9" -> "Café").
    static QString fromIwlist(const QString &printed);
    // wpa_supplicant (printf_encode): also \" \\ \e \n \r \t.
    static QString fromWpaCli(const QString &printed);

private:
    static QString decode(const QString &printed, bool wpaEscapes);
};
