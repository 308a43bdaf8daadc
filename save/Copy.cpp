#include "Copy.h"

#include "SystemPaths.h"

#include <QDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const size_t ChunkSize = 1024;

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Source to target, both already open; the target is cut to what was copied.
bool copyContents(int in, int out)
{
    // Copying a file onto itself must not cut it: compare before truncating.
    struct stat inStat;
    struct stat outStat;
    if (::fstat(in, &inStat) != 0 || ::fstat(out, &outStat) != 0)
        return false;
    if (inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino) {
        qDebug() << Q_FUNC_INFO << "source and target are the same file";
        return false;
    }
    if (::ftruncate(out, 0) != 0)
        return false;
    char buffer[ChunkSize];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        if (!writeAll(out, buffer, size_t(got)))
            return false;
    }
    return ::fsync(out) == 0;
}

} // namespace

int copy(const char *source, const char *target)
{
    if (!source || !target)
        return -1;
    const std::string from = SystemPaths::map(std::string(source));
    const std::string to = SystemPaths::map(std::string(target));
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        qDebug() << Q_FUNC_INFO << "cannot open" << source << std::strerror(errno);
        return -1;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0) {
        qDebug() << Q_FUNC_INFO << "cannot open" << target << std::strerror(errno);
        ::close(in);
        return -1;
    }
    bool ok = copyContents(in, out);
    if (!ok)
        qDebug() << Q_FUNC_INFO << source << "->" << target << "failed:" << std::strerror(errno);
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    return ok ? 0 : -1;
}
