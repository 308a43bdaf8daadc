#include "WiFiTimeouts.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex s_mutex;
WiFiTimeouts s_timeouts;
} // namespace

WiFiTimeouts WiFiTimeouts::current()
{
    QMutexLocker lock(&s_mutex);
    return s_timeouts;
}

void WiFiTimeouts::set(const WiFiTimeouts &timeouts)
{
    QMutexLocker lock(&s_mutex);
    s_timeouts = timeouts;
}
