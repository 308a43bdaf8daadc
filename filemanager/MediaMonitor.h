#pragma once

#include <QObject>

// Finds USB partitions, mounts them under /media and releases them.
class MediaMonitor : public QObject
{
    Q_OBJECT

public:
    explicit MediaMonitor(QObject *parent = nullptr);
    ~MediaMonitor() override;

    void mountAll();
    void release();
};
