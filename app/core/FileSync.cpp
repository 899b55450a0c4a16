#include "FileSync.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

bool openForAppend(QFile& file, const QString& path, QString& error)
{
    constexpr QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
#ifdef _WIN32
    // A file Qt opens by name has no C library descriptor on Windows, and
    // _commit needs one.
    const int fd = _wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        error = file.errorString();
        _close(fd);
        return false;
    }
#else
    file.setFileName(path);
    if (!file.open(mode)) {
        error = file.errorString();
        return false;
    }
#endif
    return true;
}

bool syncToDisk(const QFile& file, QString& error)
{
#ifdef _WIN32
    if (_commit(file.handle()) == 0)
        return true;
#else
    if (::fsync(file.handle()) == 0 || errno == EINVAL)
        return true;
#endif
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
