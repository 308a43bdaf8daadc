#include "Copy.h"

#include "SystemPaths.h"

#include <QDebug>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large blocks: a 1 KiB loop spent as long in system calls as the flush took.
const off_t BlockSize = 1 << 20;

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

bool copyBytes(int in, int out, off_t sizeHint)
{
    const size_t length = size_t(std::min(std::max(sizeHint, off_t(4096)), BlockSize));
    std::unique_ptr<char[]> buffer(new char[length]);
    for (off_t done = 0;;) {
        const ssize_t got = ::read(in, buffer.get(), length);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!writeAll(out, buffer.get(), size_t(got)))
            return false;
        // Start writing to the device now, so the flush at the end has little left to do.
        ::sync_file_range(out, done, got, SYNC_FILE_RANGE_WRITE);
        done += got;
    }
}

// sourceFolder and folder are AT_FDCWD for full paths.
int copyFile(int sourceFolder, const char *source, int folder, const char *target, bool mayExist)
{
    if (!source || !target)
        return -1;
    const int in = ::openat(sourceFolder, source, O_RDONLY | O_CLOEXEC);
    struct stat inStat;
    if (in < 0 || ::fstat(in, &inStat) != 0 || S_ISDIR(inStat.st_mode)) {
        qDebug() << Q_FUNC_INFO << "cannot read" << source << std::strerror(errno);
        if (in >= 0)
            ::close(in);
        return -1;
    }
    bool created = true;
    int out = ::openat(folder, target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0 && errno == EEXIST && mayExist) {
        created = false;
        out = ::openat(folder, target, O_WRONLY | O_CLOEXEC);
    }
    struct stat outStat;
    if (out < 0 || ::fstat(out, &outStat) != 0
        || (inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino)) {
        // Cutting the target of a copy onto itself would empty the source.
        qDebug() << Q_FUNC_INFO << "cannot write" << target << std::strerror(errno);
        ::close(in);
        if (out >= 0)
            ::close(out);
        return -1;
    }
    bool ok = (created || ::ftruncate(out, 0) == 0) && copyBytes(in, out, inStat.st_size)
        && ::fsync(out) == 0;
    if (!ok)
        qDebug() << Q_FUNC_INFO << source << "->" << target << "failed:" << std::strerror(errno);
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (!ok)
        ::unlinkat(folder, target, 0);
    return ok ? 0 : -1;
}

} // namespace

int copy(const char *source, const char *target)
{
    if (!source || !target)
        return -1;
    const std::string from = SystemPaths::map(std::string(source));
    const std::string to = SystemPaths::map(std::string(target));
    return copyFile(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), true);
}

int copyAt(int sourceFolder, const char *sourceName, int folder, const char *name)
{
    return copyFile(sourceFolder, sourceName, folder, name, false);
}
