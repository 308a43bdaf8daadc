#include "MediaMonitor.h"

MediaMonitor::MediaMonitor(QObject *parent)
    : QObject(parent)
{
}

MediaMonitor::~MediaMonitor() = default;

void MediaMonitor::mountAll()
{
}

void MediaMonitor::release()
{
}
