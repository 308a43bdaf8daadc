#include "SsidText.h"

#include <QByteArray>

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QString SsidText::fromIwlist(const QString &printed)
{
    return decode(printed, false);
}

QString SsidText::fromWpaCli(const QString &printed)
{
    return decode(printed, true);
}

QString SsidText::decode(const QString &printed, bool wpaEscapes)
{
    if (!printed.contains(QLatin1Char('\\')))
        return printed;
    const QByteArray in = printed.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in.at(i) != '\\' || i + 1 >= in.size()) {
            out.append(in.at(i));
            continue;
        }
        const char next = in.at(i + 1);
        if (next == 'x' && i + 3 < in.size()) {
            const int high = hexValue(in.at(i + 2));
            const int low = hexValue(in.at(i + 3));
            if (high >= 0 && low >= 0) {
                out.append(char(high * 16 + low));
                i += 3;
                continue;
            }
        }
        if (wpaEscapes) {
            static const QByteArray plain("\\\"enrt");
            static const char meant[] = "\\\"\033\n\r\t";
            const int k = plain.indexOf(next);
            if (k >= 0) {
                out.append(meant[k]);
                ++i;
                continue;
            }
        }
        out.append(in.at(i));
    }
    return QString::fromUtf8(out);
}
