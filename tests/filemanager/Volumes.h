#pragma once

#include "MediaMonitor.h"

#include <QStringList>

#include <memory>

class TestRoot;

// The instrument's disks for a file-manager test: the internal disk mounted at "/" and one
// stick per name mounted at "/media/<name>", known to a media monitor built on them.
// mount and umount are fakes that only record their calls.
class Volumes
{
public:
    Volumes(const TestRoot &root, const QStringList &sticks);
    ~Volumes();

    // "/proc/meminfo" as the paste's write-back wait reads it.
    static void setMeminfo(const TestRoot &root, int dirtyKb, int writebackKb);

private:
    std::unique_ptr<MediaMonitor> m_Monitor;
};
