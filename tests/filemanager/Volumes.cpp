#include "Volumes.h"

#include "TestRoot.h"

#include <QFile>

Volumes::Volumes(const TestRoot &root, const QStringList &sticks)
{
    root.fakeProgram(QStringLiteral("mount"));
    root.fakeProgram(QStringLiteral("umount"));
    root.mkdir(QStringLiteral("/dev/disk/by-label"));
    root.mkdir(QStringLiteral("/dev/disk/by-uuid"));
    root.mkdir(QStringLiteral("/ORBELIN"));
    QByteArray mtab("/dev/sda1 / ext4 rw 0 0\n");
    QFile::link(QStringLiteral("../../sda1"), root.path(QStringLiteral("/dev/disk/by-uuid/UUID-sda1")));
    char letter = 'b';
    for (const QString &name : sticks) {
        const QString device = QStringLiteral("sd%1%2").arg(QLatin1Char(letter++)).arg(1);
        root.mkdir(QStringLiteral("/media/") + name);
        QFile::link(QStringLiteral("../../") + device,
                    root.path(QStringLiteral("/dev/disk/by-uuid/UUID-") + device));
        mtab += "/dev/" + device.toUtf8() + " /media/"
            + name.toUtf8().replace(" ", "\\040") + " vfat rw 0 0\n";
    }
    root.mkdir(QStringLiteral("/media"));
    root.writeFile(QStringLiteral("/etc/mtab"), mtab);
    setMeminfo(root, 0, 0);
    m_Monitor.reset(new MediaMonitor);
}

Volumes::~Volumes() = default;

void Volumes::setMeminfo(const TestRoot &root, int dirtyKb, int writebackKb)
{
    root.writeFile(QStringLiteral("/proc/meminfo"),
                   QStringLiteral("MemTotal:        8000000 kB\nDirty:  %1 kB\n"
                                  "Writeback:  %2 kB\nWritebackTmp:  7 kB\n")
                       .arg(dirtyKb).arg(writebackKb).toLatin1());
}
